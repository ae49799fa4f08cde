#pragma once
// Pure decisions of the listening speed: the allowed range and steps, the menu's presets and
// the texts that show a speed.

#include <QString>
#include <array>

namespace speed {

constexpr double kMin = 0.5;
constexpr double kMax = 3.0;
constexpr double kStep = 0.05;
constexpr std::array<double, 6> kPresets{0.75, 1.0, 1.25, 1.5, 1.75, 2.0};

// Into the range and onto the nearest step; anything not a number is normal speed.
double clamp(double s);
// One step slower (direction -1) or faster (+1), within the range.
double step(double s, int direction);
// The preset a speed equals, or -1 when it is none of them.
int presetIndex(double s);
// "1.5x", "0.75x", "2x".
QString label(double s);
// What the status line adds beside the play mode: " 1.5x", or nothing at normal speed.
QString statusSuffix(double s);

} // namespace speed
