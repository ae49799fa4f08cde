#pragma once
// Alphabetical order of names as a reader expects it, the same under every process locale:
// a Unicode collation that ignores case and accents first; names that tie there are
// ordered by accents, then case, then code units. Equal means equal without regard to case.

#include <QCollatorSortKey>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace nameorder {

// The first-level key of a name, computed once per row and kept beside it. Names of one
// entry (sameEntry) have equal keys. A name of printable ASCII (most paths) is keyed by the
// rank of each of its characters in the collator's own order, which orders such names
// exactly as the collator's sort keys do at a fraction of their cost; any other name by the
// collator's sort key, made for an ASCII name too once it meets one of those.
class Key {
public:
    explicit Key(const QString &name);
    // <0, 0 (equal at the first level) or >0.
    int compare(const Key &other) const;

private:
    const QCollatorSortKey &collated() const;
    QByteArray m_ranks;
    bool m_ascii = false;
    mutable std::optional<QCollatorSortKey> m_collated;
};
Key key(const QString &name);

// Appends the first-level key of a name of printable ASCII, a byte per character, to out;
// false (out as it was) for any other name. Such keys compare with memcmp, the shorter
// first on a tie, as Key does.
bool appendRanks(const QString &name, QByteArray &out);
// Order of two names equal at the first level: accents, then case, then code units.
int breakTie(const QString &a, const QString &b);

// Full order of two names given their keys: <0, 0 (same text) or >0.
int compare(const QString &a, const Key &ka, const QString &b, const Key &kb);
// The same, computing the keys (for one-off comparisons).
int compare(const QString &a, const QString &b);
bool less(const QString &a, const QString &b);

// Sorts names into this order, each name's key computed once.
void sort(QStringList &names);
// Whether names are already in this order (no two out of it); cheaper than any key.
bool inOrder(const QStringList &names);

// The one rule for "the same entry": names equal once their case is folded (simple
// folding, character by character). Lookup, Add, Subtract and drops all go by it.
QString entryKey(const QString &name);
bool sameEntry(const QString &a, const QString &b);
// A hash that is equal for names of the same entry, made without building the key.
size_t entryHash(const QString &name, size_t seed);

} // namespace nameorder
