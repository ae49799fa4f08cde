#include "base/numtext.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace numtext {

long long roundHalfEven(double x)
{
    if (!std::isfinite(x))
        return 0;
    // nearbyint follows the current rounding mode, which nobody in this program changes
    // from the default round-to-nearest-even; make that explicit and local anyway.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(saved);
    if (r >= static_cast<double>(std::numeric_limits<long long>::max()))
        return std::numeric_limits<long long>::max();
    if (r <= static_cast<double>(std::numeric_limits<long long>::min()))
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(r);
}

int16_t toInt16(long long v)
{
    if (v > std::numeric_limits<int16_t>::max())
        return std::numeric_limits<int16_t>::max();
    if (v < std::numeric_limits<int16_t>::min())
        return std::numeric_limits<int16_t>::min();
    return static_cast<int16_t>(v);
}

QString N(long long x) { return x < 0 ? QString::number(x) : QLatin1Char(' ') + QString::number(x); }

QString F(double x)
{
    const long long v = roundHalfEven(x);
    const long long a = v < 0 ? -v : v;
    const QString digits = a < 10 ? QLatin1Char('0') + QString::number(a) : QString::number(a);
    return v < 0 ? QLatin1Char('-') + digits : digits;
}

Hms splitSeconds(long long total)
{
    Hms t;
    t.h = total / 3600;
    t.m = (total % 3600) / 60;
    t.s = total % 3600 % 60;
    return t;
}

QString hmsText(long long totalSeconds)
{
    const Hms t = splitSeconds(totalSeconds);
    return F(t.h) + QLatin1Char(':') + F(t.m) + QLatin1Char(':') + F(t.s);
}

} // namespace numtext
