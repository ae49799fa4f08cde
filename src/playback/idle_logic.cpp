#include "playback/idle_logic.h"

#include "playback/player.h"

namespace idle {

bool mayRest(const TickState &s)
{
    if (s.mainState == Player::Playing || s.videoState == Player::Playing || s.opening)
        return false;
    // A preview ends by the clock, paused or not; so does a timed sleep.
    if (s.previewOn || s.sleepArmed)
        return false;
    // Without entries the tick looks for no end and makes no tip.
    if (s.entries == 0)
        return true;
    return !(s.atEnd && !s.endSignalled) && s.entry == s.tipEntry;
}

} // namespace idle
