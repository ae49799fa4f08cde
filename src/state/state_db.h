#pragma once
// The program's state database: SQLite (WAL) under $XDG_STATE_HOME/velloran/, one set of
// rows per session folder, and the one connection to it. While the program runs it holds
// a recovery copy of the session so that a killed run, a crash or a power cut loses no
// more than a few seconds.

#include "state/session_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace statedb {

// Which parts of the stored copy a new snapshot makes stale. The place (index, second,
// entry) is one small row; settings and marks one row; the playlist one row per chunk.
struct Changes {
    bool place = false;
    bool settings = false;
    bool marks = false;
    bool entries = false;
    bool any() const { return place || settings || marks || entries; }
};
Changes changes(const state::Snapshot *stored, const state::Snapshot &now);
// Stands for a playlist's entries, in order.
QByteArray entriesDigest(const QStringList &entries);

// Unclean ends counted on one entry, so that a file that crashes the program is skipped.
struct Guard {
    QString entry;
    int runs = 0;
};
Guard afterUncleanEnd(const Guard &before, const QString &entry);
inline bool skipEntry(const Guard &g) { return g.runs >= 2 && !g.entry.isEmpty(); }

// Where a damaged database is moved to.
QString setAsideName(const QString &path, const QDateTime &when);

// $XDG_STATE_HOME/velloran/state.sqlite (~/.local/state when the variable is unset or relative).
QString defaultPath();

} // namespace statedb

class QSqlDatabase;
class QSqlError;

class StateDb {
public:
    // key: the session file's folder. busyMs: how long a statement waits for another
    // connection's lock before it gives up; short, because the window waits with it.
    static constexpr int kBusyMs = 40;
    explicit StateDb(QString path = {}, QString key = {}, int busyMs = kBusyMs);
    ~StateDb();
    StateDb(const StateDb &) = delete;
    StateDb &operator=(const StateDb &) = delete;

    // Opens or creates the file and brings its tables to this version; a damaged one is
    // renamed and a fresh one made. False when no database can be had at all (the session
    // file still works then), a file another run holds locked included.
    bool open();
    // The same for another file or folder; the connection open so far is closed first.
    bool open(QString path, QString key);
    bool isOpen() const { return !m_connection.isEmpty(); }
    // The name a damaged file was set aside under by open(), or "".
    QString setAside() const { return m_setAside; }
    // Rows of an older version that open() dropped because their names were lost.
    int droppedRows() const { return m_dropped; }
    QString lastError() const { return m_error; }
    // The last open or write failed because nothing could be written there (full disk,
    // read-only or missing folder, I/O error), not because the file is damaged.
    bool cannotWrite() const { return m_cannotWrite; }

    struct Recovery {
        state::Snapshot snapshot;
        qint64 savedMs = 0;
        bool clean = true;
        statedb::Guard guard;
    };
    // What the last run left for this folder, if anything. Without wholeIfClean a clean
    // end's snapshot is left unread (empty): start-up never restores it, and a big
    // playlist's rows would cost time and memory.
    std::optional<Recovery> load(bool wholeIfClean = true);

    // A run begins: from now on an end without markClean() counts as unclean.
    bool beginRun(const statedb::Guard &guard);
    // The entry about to be opened, written before the open: a run that dies in it leaves
    // its name, not the last one the recovery copy caught. Unclean ends counted on it so
    // far stay counted; another entry starts from none.
    bool noteOpening(const QString &entry);
    // Writes what changed since the last write; nothing when nothing changed.
    bool write(const state::Snapshot &s, qint64 nowMs);
    // The session file has been saved: the copy is no longer needed for recovery.
    bool markClean();

    // How many rows the last write() touched (tests, benchmarks).
    int lastRowsWritten() const { return m_rows; }

    // For the tables other classes keep in the same file (places, speed, lengths; all
    // declared in state/schema.cpp): the open connection, or an invalid one. Main thread only.
    QSqlDatabase database() const;
    QString connectionName() const { return m_connection; }
    // The session folder the rows of this run are keyed by, and its bytes as stored.
    QString key() const { return m_key; }
    QByteArray keyBytes() const;

    // A write of the other tables. One that another connection's lock keeps out is held in
    // memory and goes in with the next write that finds the file free; a later write of the
    // same key (or of a key it begins, "places" for "places\n<path>") replaces it.
    bool exec(const QString &key, const QString &sql, const QVariantList &values);
    // The same for a crash guard's mark: it does not wait for the disk. A run that dies
    // leaves what it wrote with the system; only a power cut can take the mark, and that is no
    // file's fault. Waited for, the start's mark held the resumed file back by up to 26 ms.
    bool execUnsynced(const QString &key, const QString &sql, const QVariantList &values);
    // Tries the held writes again, waiting no longer than one busy wait; true when none is left.
    bool flush();
    // Another connection holds the file locked: writes are held until it lets go, or the
    // last open found it so (open() again once it is free).
    bool locked() const { return m_locked || (!isOpen() && m_busy); }
    qsizetype heldCount() const { return m_held.size(); }

    // A play choice of this session folder kept across runs; `fallback` when there is none
    // (or no database: the choice then lasts for this run).
    QVariant option(const char *name, const QVariant &fallback = {}) const;
    void setOption(const char *name, const QVariant &value);

private:
    bool tryOpen();
    void close();
    bool setAsideDamaged();
    bool fail(const QString &error);
    bool fail(const QSqlError &error);
    bool writePlace(QSqlDatabase &db, const state::Snapshot &s, qint64 nowMs);
    bool writeSettings(QSqlDatabase &db, const state::Snapshot &s);
    bool writeEntries(QSqlDatabase &db, const state::Snapshot &s, int *rows);
    QByteArray storedDigest(QSqlDatabase &db) const;
    void readSettings(QSqlDatabase &db, state::Snapshot &s);
    // A clean end that another program's lock kept out of the file, noted beside it.
    bool noteCleanEnd() const;
    bool takeCleanEndNote() const;
    QString m_path;
    QString m_key;
    int m_busyMs;
    QString m_connection;
    QString m_setAside;
    QString m_error;
    std::optional<state::Snapshot> m_stored;
    int m_rows = 0;
    int m_dropped = 0;
    statedb::Guard m_guard; // what this run started with
    QString m_opening;      // what the database names as opening
    bool m_busy = false;    // the last open found the file locked, not damaged
    bool m_cannotWrite = false;
    bool m_locked = false;
    struct Held {
        QString key;
        QString sql;
        QVariantList values;
    };
    std::vector<Held> m_held; // oldest first
};
