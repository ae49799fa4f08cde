#include "playback/lengths_logic.h"

#include "base/numtext.h"

#include <algorithm>
#include <cmath>

namespace lengths {

QString clockText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const long long s = numtext::roundHalfEven(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString placeNote(double place, double length)
{
    if (!(place > 0) || !(length > place))
        return {};
    // Under an hour without the hours: "3:10".
    const auto shortClock = [](double secs) {
        QString c = clockText(secs);
        if (c.startsWith(QStringLiteral("0:"))) {
            c.remove(0, 2);
            if (c.startsWith(QLatin1Char('0')))
                c.remove(0, 1);
        }
        return c;
    };
    return QStringLiteral("   ") + shortClock(place) + QStringLiteral(" / ") + shortClock(length);
}

// A played entry left part-way is done only up to its kept place.
double playedPart(double length, double place) { return place > 0 && place < length ? place : length; }

Tally tally(const std::vector<double> &lengthOf, const std::vector<int16_t> &marks, int playing, double playingPosition,
            const std::function<double(int index)> &placeOf)
{
    Tally t;
    t.entries = int(lengthOf.size());
    for (size_t i = 0; i < lengthOf.size(); ++i) {
        const double len = lengthOf[i];
        if (!(len >= 0)) { // NaN included
            ++t.unknown;
            continue;
        }
        t.total += len;
        double d = 0;
        if (int(i) == playing)
            d = playingPosition;
        else if (i < marks.size() && marks[i] != 0)
            d = playedPart(len, placeOf ? placeOf(int(i)) : 0);
        else if (placeOf)
            d = placeOf(int(i));
        if (std::isfinite(d))
            t.done += std::clamp(d, 0.0, len);
    }
    return t;
}

QString timeLeftText(const Tally &t, double speed)
{
    if (t.entries <= 0)
        return QString();
    if (!(speed > 0) || !std::isfinite(speed))
        speed = 1;
    const double left = std::max(0.0, t.total - t.done) / speed;
    const long long percent = t.total > 0 ? numtext::roundHalfEven(100.0 * t.done / t.total) : 0;
    QString s = QStringLiteral("Υπόλοιπο - Left ") + clockText(left) + QStringLiteral(" / ") + clockText(t.total)
        + QStringLiteral(" (") + QString::number(std::clamp(percent, 0LL, 100LL)) + QStringLiteral(" %)");
    if (t.unknown > 0)
        s += QStringLiteral(", ") + QString::number(t.unknown) + QStringLiteral(" χωρίς διάρκεια - without length");
    return s;
}

} // namespace lengths
