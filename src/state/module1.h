#pragma once
// The program-wide shared state. Every subsystem reads and writes these fields directly;
// they live for the whole run in one instance owned by the application object.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

using flag16 = int16_t; // -1 on, 0 off
constexpr flag16 kOn = -1;
constexpr flag16 kOff = 0;

// The fixed-width ID3v1 record as last read or saved.
struct Mp3Tag {
    QString marker;  // 3
    QString title;   // 30
    QString artist;  // 30
    QString album;   // 30
    QString year;    // 4
    QString comment; // 30
    QString genre;   // 1
};

struct Module1 {
    QString stateFolder;   // working folder with one trailing "/"
    int16_t lastIndex = 0; // List2 index of the current entry, -1 none
    int16_t resumePos = 0; // whole seconds
    flag16 resumePending = 0;
    int16_t videoMode = 0; // -1 Hide, 0 Auto, 1 Show
    int16_t volume = 0;    // -4000..0
    flag16 shuffleOn = 0;
    std::vector<int16_t> playedMarks; // one per List2 entry, at least one element once sized
    flag16 previewOn = 0;
    int16_t previewSecs = 0;
    int16_t previewStart = 0;
    int16_t advanceCount = 0;
    flag16 userPick = 0;
    int16_t replayMode = 0; // 0 None, 1 One, 2 All
    QString currentFile;
    int16_t mins = 0;
    int16_t secs = 0;
    flag16 subdirsOn = 0;
    flag16 selectAll = 0;
    flag16 folderChanged = 0;
    flag16 cancelSearch = 0;
    QStringList genres;    // 0..38
    QStringList fileTypes; // 0..10
    Mp3Tag mp3Tag;
    double playSpeed = 1.0;
};
