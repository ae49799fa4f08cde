#pragma once
// Decisions of the film's track menus that need no player: how a track is named and what a
// kept choice means when the file is opened again.

#include <QString>
#include <vector>

namespace filmlogic {

struct Track {
    long long id = 0;
    QString type; // "audio", "sub" (video tracks are not listed)
    QString lang;
    QString title;
    bool external = false;
    bool selected = false;
};

// "2: ell — Σχόλια": the number, then what the file says of it, else the number alone.
QString caption(const Track &t);

// The track id to select for a kept choice ("no" or a number) among the file's tracks of
// that type; empty when the choice no longer fits the file (keep what the player chose).
QString restorable(const QString &kept, const QString &type, const std::vector<Track> &tracks);

} // namespace filmlogic
