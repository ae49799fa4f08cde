#include "session/state_db.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

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

const char *const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS place(folder TEXT PRIMARY KEY, clean INTEGER NOT NULL,"
    " saved_ms INTEGER NOT NULL, last_index INTEGER, resume_pos INTEGER, entry TEXT,"
    " crash_entry TEXT, crash_runs INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS settings(folder TEXT PRIMARY KEY, drive TEXT, dir TEXT,"
    " volume INTEGER, shuffle INTEGER, preview INTEGER, preview_secs INTEGER, subdirs INTEGER,"
    " select_all INTEGER, replay INTEGER, video INTEGER, marks BLOB)",
    "CREATE TABLE IF NOT EXISTS entries(folder TEXT NOT NULL, idx INTEGER NOT NULL,"
    " text TEXT NOT NULL, PRIMARY KEY(folder, idx)) WITHOUT ROWID",
};

} // namespace

StateDb::StateDb(QString path, QString key)
    : m_path(std::move(path))
    , m_key(std::move(key))
{
}

StateDb::~StateDb() { close(); }

void StateDb::close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool StateDb::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (q.exec(sql))
        return true;
    m_error = q.lastError().text();
    return false;
}

bool StateDb::tryOpen()
{
    m_connection = QStringLiteral("state-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    // Small pages keep a position update (one row) to about a kilobyte of log; FULL makes
    // each commit reach the disk, so a power cut loses no more than the last interval.
    exec(QStringLiteral("PRAGMA page_size=1024"));
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next()
        || check.value(0).toString() != QLatin1String("ok")) {
        if (m_error.isEmpty())
            m_error = check.lastError().text();
        // Another run holding the file longer than the busy wait is no damage.
        const QString code = check.lastError().nativeErrorCode();
        m_busy = code == QLatin1String("5") || code == QLatin1String("6");
        return false;
    }
    check.finish();
    QSqlQuery mode(db);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next()
        || mode.value(0).toString() != QLatin1String("wal"))
        return false;
    mode.finish();
    if (!exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return false;
    for (const char *sql : kSchema)
        if (!exec(QString::fromLatin1(sql)))
            return false;
    return true;
}

bool StateDb::open()
{
    m_setAside.clear();
    m_error.clear();
    m_busy = false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (tryOpen())
        return true;
    close();
    if (!QFileInfo::exists(m_path) || m_busy)
        return false; // nothing to set aside: the folder is unusable or the file in use
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
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT clean, saved_ms, last_index, resume_pos, entry, crash_entry, crash_runs"
                             " FROM place WHERE folder = ?"));
    q.addBindValue(m_key);
    if (!q.exec() || !q.next())
        return std::nullopt;
    Recovery r;
    r.clean = q.value(0).toInt() != 0;
    r.savedMs = q.value(1).toLongLong();
    state::Snapshot &s = r.snapshot;
    s.lastIndex = int16_t(q.value(2).toInt());
    s.resumePos = int16_t(q.value(3).toInt());
    s.currentEntry = q.value(4).toString();
    r.guard = {q.value(5).toString(), q.value(6).toInt()};
    if (r.clean && !wholeIfClean)
        return r;

    QSqlQuery e(db);
    e.setForwardOnly(true);
    e.prepare(QStringLiteral("SELECT text FROM entries WHERE folder = ? ORDER BY idx"));
    e.addBindValue(m_key);
    if (e.exec())
        while (e.next() && s.entries.size() < 32767)
            s.entries.append(e.value(0).toString());

    QSqlQuery t(db);
    t.prepare(QStringLiteral("SELECT drive, dir, volume, shuffle, preview, preview_secs, subdirs,"
                             " select_all, replay, video, marks FROM settings WHERE folder = ?"));
    t.addBindValue(m_key);
    if (t.exec() && t.next()) {
        s.drive = t.value(0).toString();
        s.folder = t.value(1).toString();
        s.volume = int16_t(t.value(2).toInt());
        s.shuffleOn = int16_t(t.value(3).toInt());
        s.previewOn = int16_t(t.value(4).toInt());
        s.previewSecs = int16_t(t.value(5).toInt());
        s.subdirsOn = int16_t(t.value(6).toInt());
        s.selectAll = int16_t(t.value(7).toInt());
        s.replayMode = int16_t(t.value(8).toInt());
        s.videoMode = int16_t(t.value(9).toInt());
        const QByteArray marks = t.value(10).toByteArray();
        s.playedMarks.assign(size_t(s.entries.size()), 0);
        for (qsizetype i = 0; i < marks.size() && i < s.entries.size(); ++i)
            s.playedMarks[size_t(i)] = marks[i] ? int16_t(-1) : int16_t(0);
    }
    return r;
}

bool StateDb::beginRun(const statedb::Guard &guard)
{
    if (!isOpen())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // A folder seen for the first time gets its row here; its saved_ms of 0 is older
    // than any session file, so nothing is restored from it until the first write.
    q.prepare(QStringLiteral("INSERT INTO place(folder, clean, saved_ms, crash_entry, crash_runs)"
                             " VALUES(?, 0, 0, ?, ?) ON CONFLICT(folder) DO UPDATE SET clean = 0,"
                             " crash_entry = excluded.crash_entry, crash_runs = excluded.crash_runs"));
    q.addBindValue(m_key);
    q.addBindValue(guard.entry);
    q.addBindValue(guard.runs);
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}

bool StateDb::write(const state::Snapshot &s, qint64 nowMs)
{
    m_rows = 0;
    if (!isOpen())
        return false;
    const statedb::Changes c = statedb::changes(m_stored ? &*m_stored : nullptr, s);
    if (!c.any())
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    bool ok = true;
    int rows = 0;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO place(folder, clean, saved_ms, last_index, resume_pos, entry)"
                                 " VALUES(?, 0, ?, ?, ?, ?) ON CONFLICT(folder) DO UPDATE SET clean = 0,"
                                 " saved_ms = excluded.saved_ms, last_index = excluded.last_index,"
                                 " resume_pos = excluded.resume_pos, entry = excluded.entry"));
        q.addBindValue(m_key);
        q.addBindValue(nowMs);
        q.addBindValue(int(s.lastIndex));
        q.addBindValue(int(s.resumePos));
        q.addBindValue(s.currentEntry);
        ok = q.exec();
        ++rows;
    }
    if (ok && (c.settings || c.marks)) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO settings(folder, drive, dir, volume, shuffle,"
                                 " preview, preview_secs, subdirs, select_all, replay, video, marks)"
                                 " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(m_key);
        q.addBindValue(s.drive);
        q.addBindValue(s.folder);
        for (int16_t v :
             {s.volume, s.shuffleOn, s.previewOn, s.previewSecs, s.subdirsOn, s.selectAll, s.replayMode, s.videoMode})
            q.addBindValue(int(v));
        q.addBindValue(packMarks(s));
        ok = q.exec();
        ++rows;
    }
    if (ok && c.entries) {
        QSqlQuery del(db);
        del.prepare(QStringLiteral("DELETE FROM entries WHERE folder = ?"));
        del.addBindValue(m_key);
        ok = del.exec();
        QSqlQuery ins(db);
        ins.prepare(QStringLiteral("INSERT INTO entries(folder, idx, text) VALUES(?, ?, ?)"));
        for (qsizetype i = 0; ok && i < s.entries.size(); ++i) {
            ins.bindValue(0, m_key);
            ins.bindValue(1, int(i));
            ins.bindValue(2, s.entries[i]);
            ok = ins.exec();
            ++rows;
        }
    }
    if (!ok || !db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    m_rows = rows;
    m_stored = s;
    return true;
}

bool StateDb::markClean()
{
    if (!isOpen())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE place SET clean = 1, crash_runs = 0 WHERE folder = ?"));
    q.addBindValue(m_key);
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}
