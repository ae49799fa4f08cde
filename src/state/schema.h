#pragma once
// Every table of the state database, and the version of how their rows are kept (PRAGMA
// user_version). Version 1 keeps every file name as its bytes (a BLOB of fsname::encode):
// a name that is not UTF-8 does not survive a conversion to text. Version 2 keeps a playlist
// in chunks of entries, a row each, where version 1 kept a row per entry: writing 32 767
// rows held the window for a quarter of a second.

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace statedb::schema {

constexpr int kVersion = 2;

// A chunk of a playlist: each name as a 32-bit little-endian byte count and its bytes.
constexpr int kChunkEntries = 512;
void appendEntry(QByteArray &chunk, const QByteArray &name);
// Appends the chunk's names to out; false when it is damaged (out then holds those before).
bool unpackEntries(const QByteArray &chunk, QStringList &out);

struct Upgrade {
    bool ok = false;
    // Rows of an older version whose names could not be turned back into their bytes.
    int dropped = 0;
    QString error;
    bool busy = false; // another connection held the file: no damage
};
// Creates what is missing and brings rows of an older version to this one, in one
// transaction. The current or a newer version is left as it is: opening then takes no lock.
Upgrade upgrade(QSqlDatabase &db);

// Whether bytes read from a version 0 text column are the name that was stored. Names with
// bytes that are not UTF-8 were mangled on the way in: each such byte was merged with the
// character after it into one code point of U+30000..U+4FFFF, or left as an encoded
// surrogate when it came last.
bool readableName(const QByteArray &bytes);

// A name as bound to a BLOB column: its bytes, "" (not NULL) when it is empty.
QByteArray nameValue(const QString &name);

} // namespace statedb::schema
