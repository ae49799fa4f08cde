#pragma once
// The ID3v1 record: 128 bytes at the very end of a file, "TAG" and five blank-padded text
// fields in Windows-1253, then one genre byte. Pure encoding and decoding, plus reading
// and writing a file's record without touching any other byte of it.

#include <QByteArray>
#include <QString>
#include <optional>

namespace id3v1 {

constexpr int kSize = 128;
constexpr int kTitle = 30, kArtist = 30, kAlbum = 30, kYear = 4, kComment = 30;

// The fields as stored, full width, converted to text.
struct Fields {
    QString title, artist, album, year, comment;
    // Row of the genre table, -1 for none.
    int genreRow = -1;
};

// Windows-1253 (through glibc iconv); characters it lacks become "?".
QString fromCp1253(const QByteArray &bytes);
QByteArray toCp1253(const QString &text);

// Cut to width or padded on the right with blanks.
QString fitField(const QString &text, int width);
// What a text box shows of a stored field: trailing blanks removed, and nothing from a NUL
// on (other taggers pad with NULs, and a text box ends its text there).
QString shownText(const QString &field);

// Rows 0-8 are the digits "1"-"9" and the rows after them continue upwards from ":"; the
// digit "0", and any other byte, is no row.
int genreRowFromByte(unsigned char byte);
unsigned char genreByteForRow(int row);
// The byte written in a new record when no genre is chosen: the usual "none".
constexpr unsigned char kNoGenre = 255;

std::optional<Fields> decode(const QByteArray &record);
// 128 bytes; the genre byte is kNoGenre when no row is chosen.
QByteArray encode(const Fields &fields);

// The record at the end of path; nullopt when there is none or the file cannot be read.
std::optional<Fields> readFile(const QString &path);

enum class Saved { Updated, Appended, NotAFile, NotWritable, NoSpace, Failed };
// Writes the record into an existing one (the genre byte only when a row is chosen) or
// appends a new one to a file without. Nothing else in the file changes; a failed write
// leaves the file as it was.
Saved writeFile(const QString &path, const Fields &fields);

} // namespace id3v1
