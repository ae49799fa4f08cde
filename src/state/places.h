#pragma once
// The place of every unfinished file of the session folder, in seconds. Kept in memory
// and, once attached, in the state database's "places" table: one small row per file,
// written only when it changes. Without a database places live for the run only.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>

class StateDb;

class Places {
public:
    explicit Places(StateDb &db);

    // Loads the places of the database's session folder; with the database closed, the
    // places start empty and stay in memory.
    void attach();

    // Where path was left, in seconds; 0 when it has no place.
    double placeOf(const QString &path) const { return m_at.value(path, 0.0); }
    void keep(const QString &path, double seconds);
    void forget(const QString &path);
    void forgetAll();
    // Forgets the places of the files listed() no longer holds.
    void keepOnly(const std::function<bool(const QString &)> &listed);
    qsizetype count() const { return m_at.size(); }

    // Rows written to the database so far (tests, benchmarks).
    int rowsWritten() const { return m_rows; }

private:
    bool run(const QString &key, const QString &sql, const QVariantList &values);
    StateDb &m_db;
    QHash<QString, double> m_at;
    bool m_attached = false;
    QByteArray m_key;
    int m_rows = 0;
};
