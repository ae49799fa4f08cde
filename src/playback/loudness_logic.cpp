#include "playback/loudness_logic.h"

namespace loudness {

MpvSettings mpvSettingsFor(int choice)
{
    switch (choice) {
    case Track:
        return {"track", ""};
    case Album:
        return {"album", ""};
    case Even:
        // Short frames keep its look-ahead near two seconds; up to 40 dB lifts a file 30 dB down.
        return {"no", "lavfi=[dynaudnorm=f=250:g=15:m=100]"};
    default:
        return {"no", ""};
    }
}

} // namespace loudness
