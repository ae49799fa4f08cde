#pragma once
// Changes to the playlist made by a long pass, gathered and applied in one step: adding
// thousands of rows one at a time to a sorted list, and redrawing it at every turn of the
// event loop, would cost far more than the pass itself. Lookups see the gathered changes;
// every other operation applies them before it starts, so nested operations stay right.

#include "base/name_order.h"
#include "playlist/playlist_logic.h"

#include <QSet>
#include <QString>

class ListBox;

class PlaylistEdits {
public:
    explicit PlaylistEdits(ListBox &list)
        : list(list)
    {
    }

    // In the playlist (without regard to case) once the gathered changes are applied.
    bool contains(const QString &entry) const;
    // Adds an entry that is not contained yet, unless the session file could not hold it
    // or the list would be full. False when it was contained; why says what was refused.
    bool addIfAbsent(const QString &entry, plist::Refusal *why);
    // Removes a contained entry; false when it is not in the playlist.
    bool remove(const QString &entry);
    void apply();

    // Entries the playlist will hold once the gathered changes are applied.
    int countAfter() const;

private:
    // An entry in a set of gathered changes: equal to the names of the same entry. Its hash
    // is made once, without a folded copy: the set's growth rehashes every entry it holds.
    struct Entry {
        explicit Entry(const QString &name)
            : name(name)
            , hash(nameorder::entryHash(name, 0))
        {
        }
        QString name;
        size_t hash;
        friend bool operator==(const Entry &a, const Entry &b) { return nameorder::sameEntry(a.name, b.name); }
        friend size_t qHash(const Entry &e, size_t seed) { return e.hash ^ seed; }
    };
    bool contains(const Entry &e) const;

    ListBox &list;
    QSet<Entry> addSet;
    QSet<Entry> removeSet;
};
