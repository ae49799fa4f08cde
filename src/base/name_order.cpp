#include "base/name_order.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <vector>

namespace {
// Chosen, not taken from the environment: under LANG=C Qt's collator would fall back to
// code-point order. US English uses the root Unicode order, which places Latin before Greek
// and sorts both as their readers do.
QCollator &firstLevel()
{
    static QCollator c = [] {
        QCollator k(QLocale(QLocale::English, QLocale::UnitedStates));
        k.setCaseSensitivity(Qt::CaseInsensitive); // accents still count, after the letters
        k.setNumericMode(false);
        k.setIgnorePunctuation(false);
        return k;
    }();
    return c;
}
// Breaks first-level ties: accents, then case.
QCollator &tieBreak()
{
    static QCollator c = [] {
        QCollator k(QLocale(QLocale::English, QLocale::UnitedStates));
        k.setCaseSensitivity(Qt::CaseSensitive);
        return k;
    }();
    return c;
}
} // namespace

namespace nameorder {

// Made from the entry key, so that names of one entry share their key whatever the collator
// makes of folding (it tells "ſ" from "s"): a lookup by key finds every row of the entry.
QCollatorSortKey key(const QString &name) { return firstLevel().sortKey(entryKey(name)); }

int compare(const QString &a, const QCollatorSortKey &ka, const QString &b, const QCollatorSortKey &kb)
{
    if (const int c = ka.compare(kb))
        return c;
    if (a == b)
        return 0;
    if (const int c = tieBreak().compare(a, b))
        return c;
    return a < b ? -1 : 1;
}

int compare(const QString &a, const QString &b) { return compare(a, key(a), b, key(b)); }

bool less(const QString &a, const QString &b) { return compare(a, b) < 0; }

void sort(QStringList &names)
{
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keyed;
    keyed.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        keyed.emplace_back(key(names[i]), i);
    std::sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) {
        return compare(names[a.second], a.first, names[b.second], b.first) < 0;
    });
    QStringList out;
    out.reserve(names.size());
    for (const auto &k : keyed)
        out.append(names[k.second]);
    names = std::move(out);
}

QString entryKey(const QString &name)
{
    // A quick road for ASCII, which is most of any path. A byte held for a name that is not
    // UTF-8 (a lone surrogate) stays as it is.
    QString out(name.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *o++ = QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
        } else if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t f = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name[++i]));
            *o++ = QChar(QChar::highSurrogate(f));
            *o++ = QChar(QChar::lowSurrogate(f));
        } else {
            *o++ = c.isSurrogate() ? c : c.toCaseFolded();
        }
    }
    return out;
}

bool sameEntry(const QString &a, const QString &b) { return a == b || entryKey(a) == entryKey(b); }

} // namespace nameorder
