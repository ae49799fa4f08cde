#pragma once
// Pure decisions of the sleep timer: its choices, when it fires, how loud the fade is at a
// moment and what the status line says. Times are seconds of the timer's clock.

#include <QString>
#include <array>
#include <optional>

namespace sleeptimer {

// Menu order: Off, at the end of this file, then minutes.
enum Choice { Off = 0, EndOfFile = 1 };
constexpr std::array<int, 6> kMinutes{0, 0, 15, 30, 45, 60};
constexpr int kChoices = int(kMinutes.size());
constexpr double kFadeSeconds = 10.0;

// When a timed choice made at now fires; none for Off and the end of the file.
std::optional<double> deadlineFor(int choice, double now);

// The end of the file, reckoned on the clock: what is left of it at the present speed.
double fileDeadline(double now, double position, double duration, double speed);

// Share of the user's loudness at now: 1 until the fade begins, down to 0 at the deadline.
double fadeShare(double deadline, double now);
bool fires(double deadline, double now);

// The player's level (hundredths of a decibel, -4000..0) for a share of the user's level:
// the amplitude scales, so the fade sounds even and ends in silence.
int fadedVolume(int userVolume, double share);

// Whole minutes left, counted up, so that the last minute shows as 1'.
int minutesLeft(double deadline, double now);
// "Ύπνος - Sleep 12'" while timed, the end of the file named when set to it, nothing when off.
QString statusText(int choice, double deadline, double now);

} // namespace sleeptimer
