#include "state/schema.h"

#include "base/fsname.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <QtEndian>
#include <vector>

namespace statedb::schema {

namespace {

struct Table {
    const char *name;
    const char *create;
    // The columns that hold file names (folder keys included).
    QByteArrayList names;
    // Of an older version: made only to bring its rows over, then dropped.
    bool legacy = false;
};

// Without a row id the key is the row: an update touches one leaf page.
const Table kTables[] = {
    {"place",
     "CREATE TABLE IF NOT EXISTS place(folder BLOB PRIMARY KEY, clean INTEGER NOT NULL,"
     " saved_ms INTEGER NOT NULL, last_index INTEGER, resume_pos INTEGER, entry BLOB,"
     " crash_entry BLOB, crash_runs INTEGER NOT NULL DEFAULT 0)",
     {"folder", "entry", "crash_entry"}},
    {"settings",
     "CREATE TABLE IF NOT EXISTS settings(folder BLOB PRIMARY KEY, drive BLOB, dir BLOB,"
     " volume INTEGER, shuffle INTEGER, preview INTEGER, preview_secs INTEGER, subdirs INTEGER,"
     " select_all INTEGER, replay INTEGER, video INTEGER, marks BLOB)",
     {"folder", "drive", "dir"}},
    {"entries",
     "CREATE TABLE IF NOT EXISTS entries(folder BLOB NOT NULL, idx INTEGER NOT NULL,"
     " text BLOB NOT NULL, PRIMARY KEY(folder, idx)) WITHOUT ROWID",
     {"folder", "text"},
     true},
    // Chunks of many kilobytes: a table with a row id keeps them off the key's pages.
    {"entry_chunks",
     "CREATE TABLE IF NOT EXISTS entry_chunks(folder BLOB NOT NULL, n INTEGER NOT NULL, data BLOB NOT NULL,"
     " PRIMARY KEY(folder, n))",
     {"folder"}},
    // A digest of each folder's entries as stored: a start whose playlist is the stored one
    // does not write its rows again.
    {"entries_digest",
     "CREATE TABLE IF NOT EXISTS entries_digest(folder BLOB PRIMARY KEY, digest BLOB NOT NULL)",
     {"folder"}},
    {"places",
     "CREATE TABLE IF NOT EXISTS places(folder BLOB NOT NULL, path BLOB NOT NULL,"
     " seconds REAL NOT NULL, PRIMARY KEY(folder, path)) WITHOUT ROWID",
     {"folder", "path"}},
    {"speed", "CREATE TABLE IF NOT EXISTS speed(folder BLOB PRIMARY KEY, factor REAL NOT NULL)", {"folder"}},
    // Play choices added after the session file's fields (one row a choice and session folder).
    {"options",
     "CREATE TABLE IF NOT EXISTS options(folder BLOB NOT NULL, name TEXT NOT NULL, value,"
     " PRIMARY KEY(folder, name)) WITHOUT ROWID",
     {"folder"}},
    // Lengths are facts about files, shared by every session folder; kept as bytes from the start.
    {"lengths",
     "CREATE TABLE IF NOT EXISTS lengths(path BLOB PRIMARY KEY, size INTEGER NOT NULL,"
     " mtime_ns INTEGER NOT NULL, seconds REAL NOT NULL) WITHOUT ROWID",
     {}},
    // The audio and subtitle track chosen for a film, per file like its length.
    {"film_tracks",
     "CREATE TABLE IF NOT EXISTS film_tracks(path BLOB PRIMARY KEY, audio TEXT, subtitle TEXT) WITHOUT ROWID",
     {}},
};

int userVersion(QSqlDatabase &db)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("PRAGMA user_version")) && q.next() ? q.value(0).toInt() : -1;
}

bool exists(QSqlDatabase &db, const char *table)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(QString::fromLatin1(table));
    return q.exec() && q.next();
}

bool failed(const QSqlQuery &q, QSqlError *error)
{
    *error = q.lastError();
    return false;
}

// Copies the rows of a version 0 table, names as bytes. Rows with a name that cannot be read
// back are left out; the folders that lost playlist entries are added to lossy.
bool copyRows(QSqlQuery &read, QSqlQuery &write, const Table &t, const std::vector<bool> &isName, int *dropped,
              QSet<QByteArray> *lossy)
{
    while (read.next()) {
        bool readable = true;
        for (int i = 0; i < int(isName.size()); ++i) {
            QVariant v = read.value(i);
            if (isName[size_t(i)] && !v.isNull()) {
                const QByteArray bytes = v.toByteArray();
                readable = readable && readableName(bytes);
                v = bytes.isEmpty() ? QByteArray("", 0) : bytes;
            }
            write.bindValue(i, v);
        }
        if (readable && !write.exec())
            return false;
        if (!readable) {
            ++*dropped;
            if (qstrcmp(t.name, "entries") == 0)
                lossy->insert(read.value(0).toByteArray());
        }
    }
    return true;
}

// Renames a version 0 table aside, makes it anew and copies its rows over.
bool copyTable(QSqlDatabase &db, const Table &t, int *dropped, QSet<QByteArray> *lossy, QSqlError *error)
{
    QSqlQuery run(db), read(db), write(db);
    const QString name = QString::fromLatin1(t.name), old = name + QStringLiteral("_v0");
    if (!run.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(name, old))
        || !run.exec(QString::fromLatin1(t.create)) || !run.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(old)))
        return failed(run, error);
    const QSqlRecord columns = run.record();
    // Names are read as the bytes SQLite holds, never through Qt's text.
    QStringList list, select, marks;
    std::vector<bool> isName;
    for (int i = 0; i < columns.count(); ++i) {
        const QString c = columns.fieldName(i);
        isName.push_back(t.names.contains(c.toLatin1()));
        list.append(c);
        select.append(isName.back() ? QStringLiteral("CAST(%1 AS BLOB)").arg(c) : c);
        marks.append(QStringLiteral("?"));
    }
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT %1 FROM %2").arg(select.join(u','), old)))
        return failed(read, error);
    write.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES(%3)").arg(name, list.join(u','), marks.join(u',')));
    if (!copyRows(read, write, t, isName, dropped, lossy))
        return failed(write, error);
    read.finish();
    return run.exec(QStringLiteral("DROP TABLE ") + old) || failed(run, error);
}

// A recovery copy that lost entries would pair marks with the wrong files: it goes whole.
bool dropCopies(QSqlDatabase &db, const QSet<QByteArray> &folders, QSqlError *error)
{
    QSqlQuery q(db);
    for (const QByteArray &folder : folders)
        for (const char *table : {"place", "settings", "entries", "entries_digest"}) {
            if (!exists(db, table))
                continue;
            q.prepare(QStringLiteral("DELETE FROM %1 WHERE folder = ?").arg(QLatin1String(table)));
            q.bindValue(0, folder);
            if (!q.exec())
                return failed(q, error);
        }
    return true;
}

// Version 1's row per entry becomes version 2's chunks, names byte for byte.
bool chunkEntries(QSqlDatabase &db, QSqlError *error)
{
    if (!exists(db, "entries"))
        return true;
    QSqlQuery read(db), write(db), run(db);
    read.setForwardOnly(true);
    write.prepare(QStringLiteral("INSERT INTO entry_chunks(folder, n, data) VALUES(?, ?, ?)"));
    QByteArray folder, chunk;
    int n = 0, inChunk = 0;
    auto put = [&] {
        write.bindValue(0, folder);
        write.bindValue(1, n++);
        write.bindValue(2, chunk);
        chunk.clear();
        inChunk = 0;
        return write.exec();
    };
    if (!read.exec(QStringLiteral("SELECT folder, text FROM entries ORDER BY folder, idx")))
        return failed(read, error);
    while (read.next()) {
        const QByteArray f = read.value(0).toByteArray();
        if ((f != folder && inChunk > 0) || inChunk == kChunkEntries) {
            if (!put())
                return failed(write, error);
        }
        if (f != folder)
            n = 0;
        folder = f;
        appendEntry(chunk, read.value(1).toByteArray());
        ++inChunk;
    }
    if (inChunk > 0 && !put())
        return failed(write, error);
    read.finish();
    return run.exec(QStringLiteral("DROP TABLE entries")) || failed(run, error);
}

bool migrate(QSqlDatabase &db, int *dropped, QSqlError *error)
{
    QSet<QByteArray> lossy;
    for (const Table &t : kTables)
        if (!t.names.isEmpty() && exists(db, t.name) && !copyTable(db, t, dropped, &lossy, error))
            return false;
    return dropCopies(db, lossy, error);
}

} // namespace

bool readableName(const QByteArray &bytes)
{
    const QString name = fsname::decode(bytes);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t cp = QChar::surrogateToUcs4(c, name[++i]);
            if (cp >= 0x30000 && cp <= 0x4FFFF)
                return false;
        } else if (c.isSurrogate()) {
            return false; // a byte that is not UTF-8
        }
    }
    return true;
}

void appendEntry(QByteArray &chunk, const QByteArray &name)
{
    char size[4];
    qToLittleEndian<quint32>(quint32(name.size()), size);
    chunk.append(size, 4).append(name);
}

bool unpackEntries(const QByteArray &chunk, QStringList &out)
{
    for (qsizetype at = 0; at < chunk.size();) {
        if (chunk.size() - at < 4)
            return false;
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + at);
        at += 4;
        if (size > quint32(chunk.size() - at))
            return false;
        out.append(fsname::decode(chunk.constData() + at, qsizetype(size)));
        at += qsizetype(size);
    }
    return true;
}

QByteArray nameValue(const QString &name)
{
    const QByteArray bytes = fsname::encode(name);
    return bytes.isEmpty() ? QByteArray("", 0) : bytes;
}

Upgrade upgrade(QSqlDatabase &db)
{
    Upgrade u;
    const int version = userVersion(db);
    if (version < 0) {
        u.error = db.lastError().text();
        return u;
    }
    if (version >= kVersion) {
        // Tables added without a new version are made in a file that predates them.
        QSqlQuery q(db);
        for (const Table &t : kTables)
            if (version == kVersion && !t.legacy)
                q.exec(QString::fromLatin1(t.create));
        u.ok = true; // up to date, or a newer program's file whose rows are its own
        return u;
    }
    if (!db.transaction()) {
        u.error = db.lastError().text();
        return u;
    }
    QSqlQuery q(db);
    QSqlError e;
    // Version 0's names become bytes first, in version 1's tables.
    bool ok = version >= 1 || migrate(db, &u.dropped, &e);
    for (const Table &t : kTables)
        ok = ok && (t.legacy || q.exec(QString::fromLatin1(t.create)));
    ok = ok && chunkEntries(db, &e);
    ok = ok && q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion));
    q.finish();
    if (!ok || !db.commit()) {
        if (!e.isValid())
            e = q.lastError().isValid() ? q.lastError() : db.lastError();
        u.error = e.text();
        u.busy = e.nativeErrorCode() == QLatin1String("5") || e.nativeErrorCode() == QLatin1String("6");
        db.rollback();
        u.dropped = 0;
        return u;
    }
    u.ok = true;
    return u;
}

} // namespace statedb::schema
