#include "playback/places_logic.h"

#include "base/numtext.h"

#include <cmath>

namespace places {

Leave onLeave(double position, double length, bool preview)
{
    if (preview)
        return Leave::Nothing;
    if (length <= 0 || position >= length)
        return Leave::Forget;
    if (length < kMinLength)
        return Leave::Forget;
    if (position < 1)
        return Leave::Nothing;
    return Leave::Keep;
}

double startAt(double ruleStart, double place, double length, bool preview, bool sessionResume)
{
    if (preview || place <= 0 || place >= length)
        return ruleStart;
    if (sessionResume)
        return ruleStart >= kRecordLimit ? place : ruleStart;
    if (length < kMinLength)
        return ruleStart;
    return place;
}

long long savedSecond(double position, double length)
{
    const long long second = numtext::roundHalfEven(position);
    if (double(second) > position && position < length && length - double(second) < 1)
        return (long long)std::floor(position);
    return second;
}

} // namespace places
