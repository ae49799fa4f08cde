#pragma once
// Pure decisions about the place kept for each unfinished file: when leaving a file keeps
// or forgets its place, and where a started file begins.

namespace places {

// Shorter files are songs: they always start from their beginning.
constexpr double kMinLength = 300;
// The session file's second is 16-bit; at this value it no longer says where the file was.
constexpr double kRecordLimit = 32767;

enum class Leave { Nothing, Keep, Forget };

// A file is left (another starts, the program closes) or its place is refreshed while it
// plays. Preview mode touches no place; a file at its end forgets it; a position under a
// second (stopped, or barely begun) leaves an earlier place as it was.
Leave onLeave(double position, double length, bool preview);

// Where a file starts: ruleStart is the second the start would use without places, place
// the file's kept place (0: none). The session's own resume keeps its second unless that
// second is the 16-bit limit.
double startAt(double ruleStart, double place, double length, bool preview, bool sessionResume);

// The whole second a session keeps for a position: rounded, but never up to within a second of
// the length, which would read as the file's end (a pause just before it is not the end).
long long savedSecond(double position, double length);

} // namespace places
