#include "playback/sleep_logic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sleeptimer {

std::optional<double> deadlineFor(int choice, double now)
{
    if (choice < 0 || choice >= kChoices || kMinutes[size_t(choice)] == 0)
        return std::nullopt;
    return now + 60.0 * kMinutes[size_t(choice)];
}

double fileDeadline(double now, double position, double duration, double speed)
{
    // A length not known (yet) gives no end to wait for.
    if (!(duration > 0) || !std::isfinite(duration))
        return std::numeric_limits<double>::infinity();
    const double left = std::isfinite(position) ? std::max(0.0, duration - position) : 0.0;
    return now + left / (speed > 0 ? speed : 1.0);
}

double fadeShare(double deadline, double now) { return std::clamp((deadline - now) / kFadeSeconds, 0.0, 1.0); }

bool fires(double deadline, double now) { return now >= deadline; }

int fadedVolume(int userVolume, double share)
{
    if (share >= 1.0)
        return userVolume;
    if (share <= 0.0)
        return -4000;
    // 20 dB per decade of amplitude, in hundredths of a decibel.
    const double level = userVolume + 2000.0 * std::log10(share);
    return int(std::clamp(std::lround(level), -4000L, long(userVolume)));
}

int minutesLeft(double deadline, double now) { return int(std::max(0.0, std::ceil((deadline - now) / 60.0))); }

QString statusText(int choice, double deadline, double now)
{
    const QString name = QStringLiteral("Ύπνος - Sleep");
    if (choice == EndOfFile)
        return name + QStringLiteral(": τέλος αρχείου - end of file");
    if (!deadlineFor(choice, now))
        return {};
    return name + QLatin1Char(' ') + QString::number(minutesLeft(deadline, now)) + QLatin1Char('\'');
}

} // namespace sleeptimer
