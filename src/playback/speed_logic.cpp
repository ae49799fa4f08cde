#include "playback/speed_logic.h"

#include <algorithm>
#include <cmath>

namespace speed {

namespace {
// Speeds are compared in whole steps, so 1.1 + 0.05 and 1.15 are the same speed.
long steps(double s) { return std::lround(s / kStep); }
} // namespace

double clamp(double s)
{
    if (!std::isfinite(s))
        return 1.0;
    const long n = std::clamp(steps(s), steps(kMin), steps(kMax));
    return double(n) * kStep;
}

double step(double s, int direction) { return clamp(double(steps(clamp(s)) + (direction < 0 ? -1 : 1)) * kStep); }

int presetIndex(double s)
{
    for (size_t i = 0; i < kPresets.size(); ++i)
        if (steps(kPresets[i]) == steps(clamp(s)) && std::isfinite(s))
            return int(i);
    return -1;
}

QString label(double s) { return QString::number(clamp(s), 'g', 3) + QLatin1Char('x'); }

QString statusSuffix(double s)
{
    if (steps(clamp(s)) == steps(1.0))
        return {};
    return QLatin1Char(' ') + label(s);
}

} // namespace speed
