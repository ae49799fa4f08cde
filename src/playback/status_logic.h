#pragma once
// Pure texts: the status line and captions, the elapsed display, completed-list rows and
// the tray tip field.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace status {

struct Texts {
    QString label6;      // play mode
    QString label3;      // counts line of the main window
    QString form4Label2; // bare counts of the completed window
    QString form4Caption;
    QString form1Caption;
};

Texts statusTexts(int total, int listIndex, int16_t shuffleOn, const std::vector<int16_t> &marks);

struct Elapsed {
    std::optional<QString> display; // new text of the elapsed box; none: leave it
    QString remaining;              // remainingText
};

// The ticker's displays for a position and length in seconds.
Elapsed elapsedTexts(double position, double duration, int16_t previewOn, int16_t previewSecs, int16_t previewStart);

// The completed-list row of playlist entry index.
QString completedRow(const QString &playlistText, int index);
// The playlist index a completed row stands for: the number after its last " =>".
int indexOfCompletedRow(const QString &row);

// The 64-character tip field: padded with blanks, or a longer text cut to 63 characters and a
// NUL, where the shown tip ends.
QString tipField(const QString &text);
// What the desktop shows of a tip field: up to its NUL, else all 64 characters.
QString shownTip(const QString &field);

// The status line after a file failed to open: missing, or there but not playable (not a
// regular file, not media).
QString openFailedText(const QString &path, bool exists);

} // namespace status
