#pragma once
// The place of every unfinished file of the session folder, in seconds. Kept in memory
// and, once attached, in the state database's "places" table: one small row per file,
// written only when it changes. Without a database places live for the run only.

#include <QHash>
#include <QString>
#include <functional>

class Places {
public:
    // Uses the open connection of the state database (its name) and the session folder the
    // rows are keyed by; loads that folder's places. An empty name: memory only.
    void attach(const QString &connection, const QString &key);

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
    bool run(const QString &sql, const QVariantList &values);
    QHash<QString, double> m_at;
    QString m_connection;
    QString m_key;
    int m_rows = 0;
};
