#pragma once
// Pure decisions of the transport keys: skips, chapters and the rewind on resume.

#include "playback/chapter.h"

#include <QList>
#include <QString>

namespace transport {

// Where a skip of delta seconds from position lands, inside the file.
double skipTarget(double position, double delta, double length);

// The chapters a file can be stepped by: none unless every start is a number, inside the
// file and later than the one before (a damaged list plays as a file without chapters).
QList<Chapter> usable(const QList<Chapter> &listed, double length);
// The chapter playing at position (-1: none).
int chapterAt(const QList<Chapter> &chapters, double position);
// The chapter the previous (step -1) or next (+1) key goes to, -1 for none. Back goes to
// the start of the playing chapter unless that start is only a few seconds behind.
int chapterStep(const QList<Chapter> &chapters, double position, int step);
constexpr double kRestartChapterSecs = 5;

// "Κεφάλαιο - Chapter 2/3: The Storm"; empty without chapters.
QString chapterText(const QList<Chapter> &chapters, int index);
// What the status line says of a start-up resume at position.
QString resumeText(const QList<Chapter> &chapters, double position);

// The choices of the rewind on resume, in seconds; off first.
constexpr double kRewindChoices[] = {0, 3, 10};
// A pause longer than this counts as leaving: the play after it rewinds too.
constexpr qint64 kLongPauseMs = 60000;
// Where a resume at start begins with a rewind of rewind seconds; a start from the
// beginning stays there.
double rewound(double start, double rewind);

} // namespace transport
