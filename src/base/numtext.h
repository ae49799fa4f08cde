#pragma once
// Number and time texts shared by every subsystem.

#include <QString>
#include <cstdint>

namespace numtext {

// Nearest whole number, halves to the even neighbour (12.5 -> 12, 13.5 -> 14).
long long roundHalfEven(double x);

// Clamps into the 16-bit range the file format and the counters use.
int16_t toInt16(long long v);

// A number in a message: one blank before zero and positive numbers, "-" before negative.
QString N(long long x);

// The "0#" field: at least two digits ("05", "12", "00"); fractions are rounded first.
QString F(double x);

struct Hms {
    long long h = 0, m = 0, s = 0;
};
// Splits whole seconds with truncating division, as the time displays do.
Hms splitSeconds(long long total);

// "hh:mm:ss" with each field in the "0#" form.
QString hmsText(long long totalSeconds);

} // namespace numtext
