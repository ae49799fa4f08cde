// Joins without a gap: the next file is prepared while this one ends, on copies of the state
// that chooses it, and the usual road to it then takes over what already sounds.

#include "playback/playback.h"

#include "playback/player.h"
#include "state/module1.h"
#include "state/places.h"
#include "ui/form1.h"
#include "ui/listbox.h"

namespace {
// Seconds of the file before its end: time enough for mpv to open the next one ahead.
constexpr double kJoinLead = 5;
} // namespace

QString Playback::joinCandidate()
{
    Player &p = mainPlayer;
    // Films, previews and a sleep at the file's end keep their own road.
    if (!p.inUse() || p.opening() || p.openFailed() || p.PlayState() != Player::Playing || m.previewOn == kOn
        || m.videoMode == 1 || holdsAtEnd() || track::isVideoFile(p.FileName()))
        return {};
    if (p.Duration() - p.CurrentPosition() > kJoinLead)
        return {};
    const ListBox &list = *f.List2;
    const bool keep = m.replayMode == 1 || m.userPick == kOn;
    // Played again from a remembered second, the file would not start at its beginning.
    if (keep && m.userPick != kOn && m.resumePos != 0)
        return {};
    const int next = track::peekNext(m.playedMarks, list.count(), list.listIndex(), m.shuffleOn == kOn, keep,
                                     m.resumePending != 0, rng);
    if (next < 0 || next >= list.count())
        return {};
    QString path = list.text(next);
    // A kept place may start the file past its beginning: that is the usual road's to find.
    if (path.isEmpty() || track::isVideoFile(path) || places.placeOf(path) > 0)
        return {};
    return path;
}

void Playback::prepareJoin() { mainPlayer.prepareNext(joinCandidate()); }
