#include "playlist/playlist_edits.h"

#include "ui/listbox.h"

#include <vector>

bool PlaylistEdits::contains(const QString &entry) const { return contains(Entry(entry)); }

bool PlaylistEdits::contains(const Entry &e) const
{
    if (addSet.contains(e))
        return true;
    return list.findExact(e.name) >= 0 && !removeSet.contains(e);
}

int PlaylistEdits::countAfter() const { return list.count() + int(addSet.size()) - int(removeSet.size()); }

bool PlaylistEdits::addIfAbsent(const QString &entry, plist::Refusal *why)
{
    const Entry e(entry);
    *why = plist::Refusal::None;
    if (contains(e))
        return false;
    *why = plist::refusalFor(entry, countAfter());
    if (*why != plist::Refusal::None)
        return true;
    if (!removeSet.remove(e)) // one about to be removed simply stays
        addSet.insert(e);
    return true;
}

bool PlaylistEdits::remove(const QString &entry)
{
    const Entry e(entry);
    if (!contains(e))
        return false;
    if (!addSet.remove(e))
        removeSet.insert(e);
    return true;
}

void PlaylistEdits::apply()
{
    if (!removeSet.isEmpty()) {
        std::vector<char> keep(size_t(list.count()));
        for (int i = 0; i < list.count(); ++i)
            keep[size_t(i)] = !removeSet.contains(Entry(list.text(i)));
        list.keepItems(keep);
        removeSet.clear();
    }
    if (addSet.isEmpty())
        return;
    // The list sorts what it is given; the set's order does not matter.
    QStringList adds;
    adds.reserve(addSet.size());
    for (const Entry &e : std::as_const(addSet))
        adds.append(e.name);
    addSet.clear();
    list.addItems(std::move(adds));
}
