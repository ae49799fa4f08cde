#include "state/state_db.h"

#include "base/fsname.h"
#include "base/fsprobe.h"
#include "state/schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>

namespace statedb {

Changes changes(const state::Snapshot *stored, const state::Snapshot &now)
{
    if (!stored)
        return {true, true, true, true};
    const state::Snapshot &a = *stored;
    Changes c;
    c.place = a.lastIndex != now.lastIndex || a.resumePos != now.resumePos || a.currentEntry != now.currentEntry;
    c.settings = a.drive != now.drive || a.folder != now.folder || a.volume != now.volume
        || a.shuffleOn != now.shuffleOn || a.previewOn != now.previewOn || a.previewSecs != now.previewSecs
        || a.subdirsOn != now.subdirsOn || a.selectAll != now.selectAll || a.replayMode != now.replayMode
        || a.videoMode != now.videoMode;
    // Only the marks the file would carry count: one per entry.
    const qsizetype n = now.entries.size();
    for (qsizetype i = 0; i < n && !c.marks; ++i) {
        const bool x = size_t(i) < a.playedMarks.size() && a.playedMarks[size_t(i)] != 0;
        const bool y = size_t(i) < now.playedMarks.size() && now.playedMarks[size_t(i)] != 0;
        c.marks = x != y;
    }
    c.entries = a.entries != now.entries;
    c.marks = c.marks || (c.entries && a.entries.size() != n);
    return c;
}

QByteArray entriesDigest(const QStringList &entries)
{
    QCryptographicHash h(QCryptographicHash::Blake2b_160);
    for (const QString &e : entries) {
        const qint64 n = e.size();
        h.addData(QByteArrayView(reinterpret_cast<const char *>(&n), sizeof n));
        h.addData(QByteArrayView(reinterpret_cast<const char *>(e.utf16()), n * 2));
    }
    return h.result();
}

Guard afterUncleanEnd(const Guard &before, const QString &entry)
{
    if (entry.isEmpty())
        return {};
    if (before.entry == entry)
        return {entry, before.runs + 1};
    return {entry, 1};
}

QString setAsideName(const QString &path, const QDateTime &when)
{
    return path + QStringLiteral(".damaged-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString defaultPath()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/velloran/state.sqlite");
}

} // namespace statedb

namespace {

QByteArray packMarks(const state::Snapshot &s)
{
    QByteArray b(s.entries.size(), '\0');
    for (qsizetype i = 0; i < b.size(); ++i)
        if (size_t(i) < s.playedMarks.size() && s.playedMarks[size_t(i)] != 0)
            b[i] = 1;
    return b;
}

using statedb::schema::nameValue;
QString nameOf(const QVariant &v) { return fsname::decode(v.toByteArray()); }

// BUSY or LOCKED, with their extended codes: another connection has the file.
bool isBusy(const QSqlError &e)
{
    const int code = e.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}

QString optionKey(const char *name) { return QStringLiteral("option\n") + QLatin1String(name); }

} // namespace

StateDb::StateDb(QString path, QString key, int busyMs)
    : m_path(std::move(path))
    , m_key(std::move(key))
    , m_busyMs(busyMs)
{
}

StateDb::~StateDb() { close(); }

QSqlDatabase StateDb::database() const { return QSqlDatabase::database(m_connection, false); }

QByteArray StateDb::keyBytes() const { return nameValue(m_key); }

QVariant StateDb::option(const char *name, const QVariant &fallback) const
{
    if (!isOpen())
        return fallback;
    const QString key = optionKey(name);
    for (const Held &h : m_held)
        if (h.key == key)
            return h.values.value(2);
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT value FROM options WHERE folder = ? AND name = ?"));
    q.addBindValue(keyBytes());
    q.addBindValue(QString::fromLatin1(name));
    return q.exec() && q.next() ? q.value(0) : fallback;
}

void StateDb::setOption(const char *name, const QVariant &value)
{
    exec(optionKey(name), QStringLiteral("INSERT OR REPLACE INTO options(folder, name, value) VALUES(?, ?, ?)"),
         {keyBytes(), QString::fromLatin1(name), value});
}

bool StateDb::exec(const QString &key, const QString &sql, const QVariantList &values)
{
    if (!isOpen())
        return false;
    if (!m_locked) {
        QSqlQuery q(database());
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec())
            return true;
        if (!isBusy(q.lastError()))
            return fail(q.lastError().text());
        m_locked = true;
    }
    const QString under = key + QLatin1Char('\n');
    std::erase_if(m_held, [&](const Held &h) { return h.key == key || h.key.startsWith(under); });
    m_held.push_back({key, sql, values});
    return false;
}

bool StateDb::execUnsynced(const QString &key, const QString &sql, const QVariantList &values)
{
    if (!isOpen())
        return false;
    QSqlQuery q(database());
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    const bool ok = exec(key, sql, values);
    q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return ok;
}

bool StateDb::flush()
{
    if (!m_locked)
        return true;
    if (!isOpen())
        return false;
    QSqlQuery q(database());
    // The write lock first: one busy wait, not one per held write.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    for (const Held &h : m_held) {
        QSqlQuery w(database());
        w.prepare(h.sql);
        for (const QVariant &v : h.values)
            w.addBindValue(v);
        w.exec(); // one that fails for another reason would fail every time: dropped
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        q.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    m_held.clear();
    m_locked = false;
    return true;
}

void StateDb::close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_stored.reset();
    m_held.clear();
    m_locked = false;
}

bool StateDb::fail(const QString &error)
{
    m_error = error;
    return false;
}

bool StateDb::fail(const QSqlError &error)
{
    // FULL, IOERR (with its extended codes), CANTOPEN, READONLY: the place, not the file.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    m_cannotWrite = code == 13 || code == 10 || code == 14 || code == 8;
    return fail(error.text());
}

namespace {
// Every table but the lengths: they are most of the file once many files have played (a
// whole check of such a file cost every start about 20 ms), start-up reads none of them, and
// a length that cannot be read is only read again from its file.
bool checkWhatStartReads(QSqlQuery &q)
{
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'lengths'")))
        return false;
    QStringList tables;
    while (q.next())
        tables.append(q.value(0).toString());
    for (QString &t : tables) {
        t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        if (!q.exec(QStringLiteral("PRAGMA quick_check(\"%1\")").arg(t)) || !q.next()
            || q.value(0).toString() != QLatin1String("ok"))
            return false;
    }
    return true;
}
} // namespace

bool StateDb::tryOpen()
{
    m_connection = QStringLiteral("state-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyMs));
    if (!db.open())
        return fail(db.lastError());
    QSqlQuery q(db);
    // Small pages keep a position update (one row) to about a kilobyte of log; FULL makes
    // each commit reach the disk, so a power cut loses no more than the last interval.
    q.exec(QStringLiteral("PRAGMA page_size=1024"));
    q.exec(QStringLiteral("PRAGMA cache_size=-256"));
    if (!checkWhatStartReads(q)) {
        // Another run holding the file longer than the busy wait is no damage.
        const QString code = q.lastError().nativeErrorCode();
        m_busy = code == QLatin1String("5") || code == QLatin1String("6");
        return fail(q.lastError());
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next()
        || q.value(0).toString() != QLatin1String("wal"))
        return fail(q.lastError());
    if (!q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return fail(q.lastError());
    q.finish();
    const statedb::schema::Upgrade u = statedb::schema::upgrade(db);
    m_dropped = u.dropped;
    m_busy = u.busy;
    return u.ok || fail(u.error);
}

bool StateDb::setAsideDamaged()
{
    QString aside = statedb::setAsideName(m_path, QDateTime::currentDateTime());
    for (int i = 1; QFileInfo::exists(aside); ++i)
        aside = statedb::setAsideName(m_path, QDateTime::currentDateTime()) + QLatin1Char('-') + QString::number(i);
    if (!QFile::rename(m_path, aside))
        return false;
    // The log and index belong to the damaged file; a fresh database must not pick them up.
    for (const char *ext : {"-wal", "-shm"})
        if (QFileInfo::exists(m_path + QLatin1String(ext)))
            QFile::rename(m_path + QLatin1String(ext), aside + QLatin1String(ext));
    m_setAside = aside;
    return true;
}

bool StateDb::open(QString path, QString key)
{
    close();
    m_path = std::move(path);
    m_key = std::move(key);
    return open();
}

bool StateDb::open()
{
    close();
    m_setAside.clear();
    m_error.clear();
    m_busy = false;
    m_cannotWrite = false;
    m_dropped = 0;
    m_guard = {};
    m_opening.clear();
    // A link to a device or a FIFO is no database, and SQLite would write its logs beside it.
    if (fsprobe::kindOf(m_path) == fsprobe::Kind::Other)
        return fail(QStringLiteral("not a regular file: ") + m_path);
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        m_cannotWrite = true;
        return fail(QStringLiteral("cannot make the folder of ") + m_path);
    }
    if (tryOpen())
        return true;
    close();
    // Nothing to set aside when the folder is unusable or the file in use.
    if (!QFileInfo::exists(m_path) || m_busy || m_cannotWrite || !setAsideDamaged())
        return false;
    m_error.clear();
    if (tryOpen())
        return true;
    close();
    return false;
}

std::optional<StateDb::Recovery> StateDb::load(bool wholeIfClean)
{
    if (!isOpen())
        return std::nullopt;
    QSqlDatabase db = database();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT clean, saved_ms, last_index, resume_pos, entry, crash_entry, crash_runs"
                             " FROM place WHERE folder = ?"));
    q.addBindValue(keyBytes());
    if (!q.exec() || !q.next())
        return std::nullopt;
    Recovery r;
    const bool noted = takeCleanEndNote();
    r.clean = q.value(0).toInt() != 0 || noted;
    r.savedMs = q.value(1).toLongLong();
    state::Snapshot &s = r.snapshot;
    s.lastIndex = int16_t(q.value(2).toInt());
    s.resumePos = int16_t(q.value(3).toInt());
    s.currentEntry = nameOf(q.value(4));
    r.guard = {nameOf(q.value(5)), q.value(6).toInt()};
    if (r.clean && !wholeIfClean)
        return r;

    QSqlQuery e(db);
    e.setForwardOnly(true);
    e.prepare(QStringLiteral("SELECT data FROM entry_chunks WHERE folder = ? ORDER BY n"));
    e.addBindValue(keyBytes());
    bool whole = e.exec();
    while (whole && e.next() && s.entries.size() < 32767)
        whole = statedb::schema::unpackEntries(e.value(0).toByteArray(), s.entries);
    // A copy with a damaged chunk would pair marks with the wrong files: any file is newer.
    if (!whole) {
        s.entries.clear();
        r.savedMs = 0;
    }
    if (s.entries.size() > 32767)
        s.entries.resize(32767);
    readSettings(db, s);
    return r;
}

void StateDb::readSettings(QSqlDatabase &db, state::Snapshot &s)
{
    QSqlQuery t(db);
    t.prepare(QStringLiteral("SELECT drive, dir, volume, shuffle, preview, preview_secs, subdirs,"
                             " select_all, replay, video, marks FROM settings WHERE folder = ?"));
    t.addBindValue(keyBytes());
    if (!t.exec() || !t.next())
        return;
    s.drive = nameOf(t.value(0));
    s.folder = nameOf(t.value(1));
    int16_t *const values[] = {&s.volume,    &s.shuffleOn, &s.previewOn,  &s.previewSecs,
                               &s.subdirsOn, &s.selectAll, &s.replayMode, &s.videoMode};
    for (int i = 0; i < 8; ++i)
        *values[i] = int16_t(t.value(2 + i).toInt());
    const QByteArray marks = t.value(10).toByteArray();
    s.playedMarks.assign(size_t(s.entries.size()), 0);
    for (qsizetype i = 0; i < marks.size() && i < s.entries.size(); ++i)
        s.playedMarks[size_t(i)] = marks[i] ? int16_t(-1) : int16_t(0);
}

bool StateDb::beginRun(const statedb::Guard &guard)
{
    if (!isOpen())
        return false;
    // A folder seen for the first time gets its row here; its saved_ms of 0 is older
    // than any session file, so nothing is restored from it until the first write.
    const bool ok
        = execUnsynced(QStringLiteral("run"),
                       QStringLiteral("INSERT INTO place(folder, clean, saved_ms, crash_entry, crash_runs)"
                                      " VALUES(?, 0, 0, ?, ?) ON CONFLICT(folder) DO UPDATE SET clean = 0,"
                                      " crash_entry = excluded.crash_entry, crash_runs = excluded.crash_runs"),
                       {keyBytes(), nameValue(guard.entry), guard.runs});
    if (!ok && !m_locked)
        return false;
    m_guard = guard;
    m_opening = guard.entry;
    return ok;
}

bool StateDb::noteOpening(const QString &entry)
{
    if (!isOpen() || entry == m_opening)
        return true;
    const bool ok = execUnsynced(QStringLiteral("opening"),
                                 QStringLiteral("UPDATE place SET crash_entry = ?, crash_runs = ? WHERE folder = ?"),
                                 {nameValue(entry), entry == m_guard.entry ? m_guard.runs : 0, keyBytes()});
    if (ok || m_locked)
        m_opening = entry;
    return ok;
}

bool StateDb::writePlace(QSqlDatabase &db, const state::Snapshot &s, qint64 nowMs)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO place(folder, clean, saved_ms, last_index, resume_pos, entry)"
                             " VALUES(?, 0, ?, ?, ?, ?) ON CONFLICT(folder) DO UPDATE SET clean = 0,"
                             " saved_ms = excluded.saved_ms, last_index = excluded.last_index,"
                             " resume_pos = excluded.resume_pos, entry = excluded.entry"));
    q.addBindValue(keyBytes());
    q.addBindValue(nowMs);
    q.addBindValue(int(s.lastIndex));
    q.addBindValue(int(s.resumePos));
    q.addBindValue(nameValue(s.currentEntry));
    return q.exec();
}

bool StateDb::writeSettings(QSqlDatabase &db, const state::Snapshot &s)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO settings(folder, drive, dir, volume, shuffle,"
                             " preview, preview_secs, subdirs, select_all, replay, video, marks)"
                             " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(keyBytes());
    q.addBindValue(nameValue(s.drive));
    q.addBindValue(nameValue(s.folder));
    for (int16_t v :
         {s.volume, s.shuffleOn, s.previewOn, s.previewSecs, s.subdirsOn, s.selectAll, s.replayMode, s.videoMode})
        q.addBindValue(int(v));
    q.addBindValue(packMarks(s));
    return q.exec();
}

QByteArray StateDb::storedDigest(QSqlDatabase &db) const
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT digest FROM entries_digest WHERE folder = ?"));
    q.addBindValue(keyBytes());
    return q.exec() && q.next() ? q.value(0).toByteArray() : QByteArray();
}

bool StateDb::writeEntries(QSqlDatabase &db, const state::Snapshot &s, int *rows)
{
    const QByteArray key = keyBytes();
    QSqlQuery del(db);
    del.prepare(QStringLiteral("DELETE FROM entry_chunks WHERE folder = ?"));
    del.addBindValue(key);
    if (!del.exec())
        return false;
    QSqlQuery digest(db);
    digest.prepare(QStringLiteral("INSERT OR REPLACE INTO entries_digest(folder, digest) VALUES(?, ?)"));
    digest.addBindValue(key);
    digest.addBindValue(statedb::entriesDigest(s.entries));
    if (!digest.exec())
        return false;
    QSqlQuery ins(db);
    ins.prepare(QStringLiteral("INSERT INTO entry_chunks(folder, n, data) VALUES(?, ?, ?)"));
    QByteArray chunk;
    for (qsizetype from = 0; from < s.entries.size(); from += statedb::schema::kChunkEntries) {
        chunk.clear();
        const qsizetype to = std::min(s.entries.size(), from + statedb::schema::kChunkEntries);
        for (qsizetype i = from; i < to; ++i)
            statedb::schema::appendEntry(chunk, fsname::encode(s.entries[i]));
        ins.bindValue(0, key);
        ins.bindValue(1, int(from / statedb::schema::kChunkEntries));
        ins.bindValue(2, chunk);
        if (!ins.exec())
            return false;
        ++*rows;
    }
    return true;
}

bool StateDb::write(const state::Snapshot &s, qint64 nowMs)
{
    m_rows = 0;
    if (!isOpen() || !flush())
        return false;
    statedb::Changes c = statedb::changes(m_stored ? &*m_stored : nullptr, s);
    QSqlDatabase db = database();
    // The first write of a run: a big playlist the file already holds is not written again.
    if (!m_stored && c.entries)
        c.entries = storedDigest(db) != statedb::entriesDigest(s.entries);
    if (!c.any())
        return true;
    // The write lock first: another connection's lock is found here, after one busy wait.
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        m_locked = isBusy(begin.lastError());
        return fail(begin.lastError().text());
    }
    int rows = 1;
    bool ok = writePlace(db, s, nowMs);
    if (ok && (c.settings || c.marks)) {
        ok = writeSettings(db, s);
        ++rows;
    }
    if (ok && c.entries)
        ok = writeEntries(db, s, &rows);
    if (!ok || !db.commit()) {
        fail(db.lastError());
        db.rollback();
        return false;
    }
    m_rows = rows;
    m_stored = s;
    return true;
}

bool StateDb::markClean()
{
    // A close waits for the file no longer than one busy wait; the session file holds the run.
    if (!isOpen())
        return false;
    if (flush()
        && exec(QStringLiteral("run"), QStringLiteral("UPDATE place SET clean = 1, crash_runs = 0 WHERE folder = ?"),
                {keyBytes()}))
        return true;
    // Held back by a lock, the mark would be lost with the run, and the next start would
    // count this clean close as a crash in the entry that was open.
    return m_locked && noteCleanEnd();
}

namespace {
QString cleanNotePath(const QString &dbPath) { return dbPath + QStringLiteral(".clean"); }
} // namespace

bool StateDb::noteCleanEnd() const
{
    QFile note(cleanNotePath(m_path));
    // A FIFO there would hold the close until someone read it.
    if (fsprobe::kindOf(note.fileName()) == fsprobe::Kind::Other)
        return false;
    // One line per session folder, in hex: a folder's name may hold any byte.
    return note.open(QIODevice::Append) && note.write(keyBytes().toHex() + '\n') > 0 && note.flush();
}

bool StateDb::takeCleanEndNote() const
{
    QFile note(cleanNotePath(m_path));
    if (!fsprobe::isRegular(note.fileName()) || !note.open(QIODevice::ReadOnly))
        return false;
    QList<QByteArray> lines = note.read(1 << 20).split('\n');
    note.close();
    const bool found = lines.removeAll(keyBytes().toHex()) > 0;
    lines.removeAll(QByteArray());
    if (!found)
        return false;
    if (lines.isEmpty())
        note.remove();
    else if (note.open(QIODevice::WriteOnly | QIODevice::Truncate))
        note.write(lines.join('\n') + '\n');
    return true;
}
