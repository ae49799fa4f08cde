// The chapters of the file open on an MpvPlayer, read from mpv's chapter list.

#include "playback/mpv_player.h"

#include <mpv/client.h>

namespace {
const mpv_node *field(const mpv_node &map, const char *key)
{
    if (map.format != MPV_FORMAT_NODE_MAP)
        return nullptr;
    for (int i = 0; i < map.u.list->num; ++i)
        if (qstrcmp(map.u.list->keys[i], key) == 0)
            return &map.u.list->values[i];
    return nullptr;
}
} // namespace

QList<Chapter> MpvPlayer::chapterList()
{
    QList<Chapter> out;
    // An idle player has no chapters; asking must not create its core.
    if (!coreCreated() || openCount() == 0 || opening())
        return out;
    mpv_node list{};
    if (mpv_get_property(handle(), "chapter-list", MPV_FORMAT_NODE, &list) < 0)
        return out;
    if (list.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node &entry = list.u.list->values[i];
            const mpv_node *time = field(entry, "time");
            const mpv_node *title = field(entry, "title");
            Chapter c;
            c.start = time && time->format == MPV_FORMAT_DOUBLE ? time->u.double_ : -1;
            if (title && title->format == MPV_FORMAT_STRING)
                c.title = QString::fromUtf8(title->u.string);
            out.append(c);
        }
    }
    mpv_free_node_contents(&list);
    return out;
}
