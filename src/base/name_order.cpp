#include "base/name_order.h"

#include <QCollator>
#include <QLocale>
#include <QVarLengthArray>
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

// Printable ASCII, case folded, in the first-level collator's order (the root Unicode
// order, checked against the collator by the tests): the rank of each character (from 1)
// and back. Such text has no contractions, expansions or ignorable characters, so comparing
// ranks one by one, the shorter first on a tie, is the collator's own comparison. Known
// without asking the collator, so a list of such names is ordered without loading ICU's
// collation at all.
constexpr char kAsciiOrder[] = " _-,;:!?.'\"()[]{}@*/\\&#%`^+<=>|~$0123456789abcdefghijklmnopqrstuvwxyz";
struct Ranks {
    std::array<char, 128> of{}; // a capital has its small letter's rank; 0: not printable
    std::array<char16_t, 128> character{};
};
constexpr Ranks makeRanks()
{
    Ranks r;
    for (size_t i = 0; i + 1 < sizeof kAsciiOrder; ++i) {
        const auto c = static_cast<unsigned char>(kAsciiOrder[i]);
        r.of[c] = char(i + 1);
        r.character[i + 1] = char16_t(c);
        if (c >= 'a' && c <= 'z')
            r.of[c - 32u] = char(i + 1);
    }
    return r;
}
constexpr Ranks kRanks = makeRanks();

char rankOf(QChar c) { return c.unicode() < kRanks.of.size() ? kRanks.of[c.unicode()] : '\0'; }

bool printableAscii(const QString &s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return rankOf(c) != '\0'; });
}

// Two names of printable ASCII by their ranks.
int compareAscii(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        if (const char ra = rankOf(a[i]), rb = rankOf(b[i]); ra != rb)
            return ra < rb ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Names of printable ASCII that differ in case only: the collator's case level puts the
// small letter first, at the first place they differ. 0: not such a pair.
int asciiCaseTie(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return 0;
    int first = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char ra = rankOf(a[i]);
        if (ra == '\0' || ra != rankOf(b[i]))
            return 0;
        if (first == 0 && a[i] != b[i])
            first = a[i] > b[i] ? -1 : 1;
    }
    return first;
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
    const qsizetype from = out.size();
    out.resize(from + name.size());
    char *o = out.data() + from;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char rank = rankOf(name[i]);
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
            folded[i] = QChar(kRanks.character[uchar(m_ranks[i])]);
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
    if (const int c = asciiCaseTie(a, b))
        return c;
    if (const int c = tieBreak().compare(a, b))
        return c;
    return a < b ? -1 : 1;
}

namespace {
// The order of compare() without sort keys: the collator's own comparison gives the same
// result as comparing the keys it would make, and stops at the first difference. A folded
// name is made only for a name outside printable ASCII.
int compareNames(const QString &a, bool asciiA, const QString &foldedA, const QString &b, bool asciiB,
                 const QString &foldedB)
{
    int c = 0;
    if (asciiA && asciiB)
        c = compareAscii(a, b);
    else
        c = firstLevel().compare(asciiA ? entryKey(a) : foldedA, asciiB ? entryKey(b) : foldedB);
    return c != 0 ? c : breakTie(a, b);
}
} // namespace

int compare(const QString &a, const Key &ka, const QString &b, const Key &kb)
{
    if (const int c = ka.compare(kb))
        return c;
    return breakTie(a, b);
}

int compare(const QString &a, const QString &b)
{
    const bool asciiA = printableAscii(a), asciiB = printableAscii(b);
    return compareNames(a, asciiA, asciiA ? QString() : entryKey(a), b, asciiB, asciiB ? QString() : entryKey(b));
}

bool inOrder(const QStringList &names)
{
    QString before;
    bool beforeAscii = true;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const bool ascii = printableAscii(names.at(i));
        QString folded = ascii ? QString() : entryKey(names.at(i));
        if (i > 0 && compareNames(names.at(i - 1), beforeAscii, before, names.at(i), ascii, folded) > 0)
            return false;
        before = std::move(folded);
        beforeAscii = ascii;
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

namespace {
// The folding of an ASCII unit: its small letter.
char16_t foldAscii(char16_t u) { return u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u; }

// Writes the simple case folding of name to o, a unit per unit (folding keeps a
// character's length in UTF-16); returns the end.
char16_t *foldInto(const QString &name, char16_t *o)
{
    // A quick road for ASCII, which is most of any path. A byte held for a name that is not
    // UTF-8 (a lone surrogate) stays as it is.
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *o++ = foldAscii(u);
        } else if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t f = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name[++i]));
            *o++ = QChar::highSurrogate(f);
            *o++ = QChar::lowSurrogate(f);
        } else {
            *o++ = c.isSurrogate() ? u : c.toCaseFolded().unicode();
        }
    }
    return o;
}
} // namespace

QString entryKey(const QString &name)
{
    QString out(name.size(), Qt::Uninitialized);
    foldInto(name, reinterpret_cast<char16_t *>(out.data()));
    return out;
}

size_t entryHash(const QString &name, size_t seed)
{
    QVarLengthArray<char16_t, 512> folded(name.size());
    foldInto(name, folded.data());
    return qHashBits(folded.constData(), size_t(folded.size()) * sizeof(char16_t), seed);
}

bool sameEntry(const QString &a, const QString &b)
{
    // Folding keeps the length, and most names that differ do so in ASCII: settled without
    // folded copies, which a hash set's probes would otherwise make at every step.
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return entryKey(a) == entryKey(b);
        if (foldAscii(x) != foldAscii(y))
            return false;
    }
    return true;
}

} // namespace nameorder
