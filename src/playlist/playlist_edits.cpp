#include "playlist/playlist_edits.h"

#include "base/name_order.h"
#include "ui/listbox.h"

namespace {
bool containsKey(const ListBox &list, const QSet<QString> &addKeys, const QSet<QString> &removeKeys,
                 const QString &entry, const QString &key)
{
    if (addKeys.contains(key))
        return true;
    return list.findExact(entry) >= 0 && !removeKeys.contains(key);
}
} // namespace

bool PlaylistEdits::contains(const QString &entry) const
{
    return containsKey(list, addKeys, removeKeys, entry, nameorder::entryKey(entry));
}

int PlaylistEdits::countAfter() const { return list.count() + int(adds.size()) - int(removeKeys.size()); }

bool PlaylistEdits::addIfAbsent(const QString &entry, plist::Refusal *why)
{
    const QString key = nameorder::entryKey(entry);
    *why = plist::Refusal::None;
    if (containsKey(list, addKeys, removeKeys, entry, key))
        return false;
    *why = plist::refusalFor(entry, countAfter());
    if (*why != plist::Refusal::None)
        return true;
    if (!removeKeys.remove(key)) { // one about to be removed simply stays
        adds.push_back(entry);
        addKeys.insert(key);
    }
    return true;
}

bool PlaylistEdits::remove(const QString &entry)
{
    if (!contains(entry))
        return false;
    const QString key = nameorder::entryKey(entry);
    if (addKeys.remove(key)) {
        adds.removeIf([&](const QString &a) { return nameorder::entryKey(a) == key; });
        return true;
    }
    removeKeys.insert(key);
    return true;
}

void PlaylistEdits::apply()
{
    if (!removeKeys.isEmpty()) {
        std::vector<char> keep(size_t(list.count()));
        for (int i = 0; i < list.count(); ++i)
            keep[size_t(i)] = !removeKeys.contains(nameorder::entryKey(list.text(i)));
        list.keepItems(keep);
        removeKeys.clear();
    }
    list.addItems(std::move(adds));
    adds.clear();
    addKeys.clear();
}
