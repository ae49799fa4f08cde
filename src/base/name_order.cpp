#include "base/name_order.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <array>
#include <cstring>
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

// Printable ASCII, case folded, in the first-level collator's order: the rank of each
// character (from 1) and back. Taken from the collator itself, whatever its version. Such
// text has no contractions, expansions or ignorable characters under the root order, so
// comparing ranks one by one, the shorter first on a tie, is the collator's own comparison.
constexpr char16_t kFirstPrintable = 0x20, kLastPrintable = 0x7e;
struct Ranks {
    bool usable = true;         // no two characters equal to the collator
    std::array<char, 128> of{}; // a capital has its small letter's rank; 0: not printable
    std::array<char16_t, 256> character{};
};
const Ranks &ranks()
{
    static const Ranks r = [] {
        std::vector<char16_t> chars;
        for (char16_t c = kFirstPrintable; c <= kLastPrintable; ++c)
            if (c < 'A' || c > 'Z')
                chars.push_back(c);
        std::stable_sort(chars.begin(), chars.end(), [](char16_t a, char16_t b) {
            return firstLevel().compare(QString(QChar(a)), QString(QChar(b))) < 0;
        });
        Ranks out;
        for (size_t i = 1; i < chars.size(); ++i)
            out.usable = out.usable && firstLevel().compare(QString(QChar(chars[i - 1])), QString(QChar(chars[i]))) < 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            out.of[chars[i]] = char(i + 1);
            out.character[i + 1] = chars[i];
        }
        for (char16_t c = 'A'; c <= 'Z'; ++c)
            out.of[c] = out.of[c + 32];
        return out;
    }();
    return r;
}
} // namespace

namespace nameorder {

// Printable ASCII is folded here as the entry key folds it, without making the folded text.
// Any other name is keyed from its entry key, so that names of one entry share their key
// whatever the collator makes of folding (it tells "ſ" from "s"): a lookup by key finds every
// row of the entry.
Key::Key(const QString &name)
{
    m_ascii = appendRanks(name, m_ranks);
    if (!m_ascii) {
        m_ranks = QByteArray();
        m_collated = firstLevel().sortKey(entryKey(name));
    }
}

bool appendRanks(const QString &name, QByteArray &out)
{
    const Ranks &r = ranks();
    if (!r.usable)
        return false;
    const qsizetype from = out.size();
    out.resize(from + name.size());
    char *o = out.data() + from;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        const char rank = u < r.of.size() ? r.of[u] : '\0';
        if (rank == '\0') {
            out.truncate(from);
            return false;
        }
        o[i] = rank;
    }
    return true;
}

const QCollatorSortKey &Key::collated() const
{
    if (!m_collated) {
        QString folded(m_ranks.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < m_ranks.size(); ++i)
            folded[i] = QChar(ranks().character[uchar(m_ranks[i])]);
        m_collated = firstLevel().sortKey(folded);
    }
    return *m_collated;
}

int Key::compare(const Key &other) const
{
    if (!m_ascii || !other.m_ascii)
        return collated().compare(other.collated());
    const int c = std::memcmp(m_ranks.constData(), other.m_ranks.constData(),
                              size_t(std::min(m_ranks.size(), other.m_ranks.size())));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return m_ranks.size() == other.m_ranks.size() ? 0 : (m_ranks.size() < other.m_ranks.size() ? -1 : 1);
}

Key key(const QString &name) { return Key(name); }

int breakTie(const QString &a, const QString &b)
{
    if (a == b)
        return 0;
    if (const int c = tieBreak().compare(a, b))
        return c;
    return a < b ? -1 : 1;
}

namespace {
// The order of compare() without sort keys: the collator's own comparison gives the same
// result as comparing the keys it would make, and stops at the first difference.
int compareFolded(const QString &a, const QString &foldedA, const QString &b, const QString &foldedB)
{
    if (const int c = firstLevel().compare(foldedA, foldedB))
        return c;
    return breakTie(a, b);
}
} // namespace

int compare(const QString &a, const Key &ka, const QString &b, const Key &kb)
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
    std::vector<std::pair<Key, qsizetype>> keyed;
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
