#include "playback/idle_logic.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/listbox.h"

idle::TickState Playback::tickState(bool sleepArmed)
{
    Player &w = watchedPlayer();
    idle::TickState s;
    s.mainState = mainPlayer.PlayState();
    s.videoState = videoPlayer.PlayState();
    s.opening = startInProgress() || mainPlayer.opening() || w.opening();
    s.previewOn = m.previewOn == kOn;
    s.sleepArmed = sleepArmed;
    s.atEnd = !s.opening && w.openCount() > 0 && w.Duration() == w.CurrentPosition();
    s.endSignalled = endSignalledPlayer == &w && endSignalledOpen == w.openCount()
        && endSignalledMainOpen == mainPlayer.openCount();
    s.entries = f.List2->count();
    s.entry = m.lastIndex;
    s.tipEntry = tipIndex;
    return s;
}
