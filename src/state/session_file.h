#pragma once
// The session state file "velloran.txt", both ways, on bytes only (no file is touched).
// Records of 255 bytes each, numbered from 1. An integer record starts with a 16-bit
// little-endian value; a string record with its length in bytes (16-bit little-endian) and
// then that many bytes of the name. Records wholly or partly past the end of the file read
// as 0 or "".

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace state {

constexpr int kRecordSize = 255;
constexpr int kMaxText = kRecordSize - 2;
// 16 + 2N records for the last index N of the longest playlist, 32 766, with room to spare.
constexpr int kMaxRecords = 16 + 2 * 32767;

class Records {
public:
    Records() = default;
    explicit Records(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
    }

    const QByteArray &bytes() const { return m_bytes; }
    int recordCount() const { return int(m_bytes.size() / kRecordSize); }

    int16_t readInt(int record) const;
    // nullopt when the record is damaged (a length outside 0..253).
    std::optional<QString> readString(int record) const;

    void writeInt(int record, int16_t value);
    // Text longer than a record holds is never cut: it is written as "" and false returned.
    bool writeString(int record, const QString &text);

private:
    // The record's first byte inside the file, or null past its end.
    const char *recordAt(int record) const;
    char *recordForWrite(int record);
    QByteArray m_bytes;
};

// Whether text fits one string record.
bool fitsRecord(const QString &text);

// Everything the file carries, in the order of its records.
struct Snapshot {
    QString drive;
    QString folder;
    int16_t lastIndex = -1;
    int16_t resumePos = 0;
    QString currentEntry;
    int16_t volume = 0;
    int16_t shuffleOn = 0;
    int16_t previewOn = 0;
    int16_t previewSecs = 10;
    std::vector<int16_t> playedMarks;
    int16_t subdirsOn = 0;
    int16_t selectAll = 0;
    int16_t replayMode = 0;
    QStringList entries; // at most 32 767
    int16_t videoMode = 0;
};

// The whole file for a snapshot: 16 + 2N records (N = entries - 1). Missing marks are
// written as 0.
QByteArray encode(const Snapshot &s);
// The same bytes written to out a few records at a time, so that a big playlist never
// needs the whole file in memory. False when a write fell short.
bool encodeTo(QIODevice &out, const Snapshot &s);

// The file as the start-up reads it. A damaged file may carry any value: an index below
// "none" reads as none, a negative second as the start, a damaged or blank entry is left out.
struct Decoded {
    Snapshot snapshot;        // playedMarks: one per saved index (when there is one), -1 or 0
    int lastSaved = -1;       // the saved playlist's last index, as written (record 10)
    std::vector<int> savedAt; // each kept entry's index in the saved playlist
};
Decoded decode(const QByteArray &bytes);
// The same from a file, read a few records at a time from its start.
Decoded decode(QIODevice &in);

// The records up to the saved playlist's length: the place and its entry.
constexpr qint64 kHeadSize = qint64(10) * kRecordSize;

// Record numbers of the layout for a playlist whose last index is n.
inline int marksRecord(int i) { return 11 + i; }
inline int subdirsRecord(int n) { return 12 + n; }
inline int selectAllRecord(int n) { return 13 + n; }
inline int replayRecord(int n) { return 14 + n; }
inline int entryRecord(int n, int i) { return 15 + n + i; }
inline int videoRecord(int n) { return 16 + 2 * n; }

} // namespace state
