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

namespace {
// Names equal at the first level.
int breakTie(const QString &a, const QString &b)
{
    if (a == b)
        return 0;
    if (const int c = tieBreak().compare(a, b))
        return c;
    return a < b ? -1 : 1;
}
// The order of compare() without sort keys: the collator's own comparison gives the same
// result as comparing the keys it would make, and stops at the first difference.
int compareFolded(const QString &a, const QString &foldedA, const QString &b, const QString &foldedB)
{
    if (const int c = firstLevel().compare(foldedA, foldedB))
        return c;
    return breakTie(a, b);
}
} // namespace

int compare(const QString &a, const QCollatorSortKey &ka, const QString &b, const QCollatorSortKey &kb)
{
    if (const int c = ka.compare(kb))
        return c;
    return breakTie(a, b);
}

int compare(const QString &a, const QString &b) { return compareFolded(a, entryKey(a), b, entryKey(b)); }

bool inOrder(const std::vector<QString> &names)
{
    QString before;
    for (size_t i = 0; i < names.size(); ++i) {
        QString folded = entryKey(names[i]);
        if (i > 0 && compareFolded(names[i - 1], before, names[i], folded) > 0)
            return false;
        before = std::move(folded);
    }
    return true;
}

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
