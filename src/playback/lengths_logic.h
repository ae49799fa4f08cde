#pragma once
// Pure texts and sums for the time left of the whole playlist.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace lengths {

// Whole seconds as "H:MM:SS", hours without a leading zero and without a limit
// ("0:03:07", "9:41:05", "10:00:00", "123:00:00"); rounded to the nearest second.
QString clockText(double seconds);

struct Tally {
    int entries = 0;  // playlist entries
    int unknown = 0;  // entries whose length is not known (not read yet, or unreadable)
    double total = 0; // media seconds of the entries with a length
    double done = 0;  // of which played
};

// lengthOf[i]: seconds, or negative / NaN when not known. Played entries count whole, or up to
// their saved place when they have one; the one playing counts up to its position; any other
// up to its saved place.
Tally tally(const std::vector<double> &lengthOf, const std::vector<int16_t> &marks, int playing, double playingPosition,
            const std::function<double(int index)> &placeOf);

// "Υπόλοιπο - Left 9:41:05 / 14:02:00 (31 %)", then ", 120 χωρίς διάρκεια - without length"
// when some lengths are missing. What is left is clock time at speed; the total is media
// time; the share is the done part of the known total. Empty for an empty playlist.
// What is done of a played entry of length seconds with a saved place (0: none).
double playedPart(double length, double place);

// "   3:10 / 6:00" after a completed row with a saved place; empty without a place or length.
QString placeNote(double place, double length);

QString timeLeftText(const Tally &t, double speed);

} // namespace lengths
