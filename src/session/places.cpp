#include "session/places.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

void Places::attach(const QString &connection, const QString &key)
{
    m_connection.clear();
    m_key = key;
    m_at.clear();
    if (connection.isEmpty())
        return;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isOpen())
        return;
    QSqlQuery q(db);
    // Without a row id the key is the row: an update touches one leaf page.
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS places(folder TEXT NOT NULL, path TEXT NOT NULL,"
                               " seconds REAL NOT NULL, PRIMARY KEY(folder, path)) WITHOUT ROWID")))
        return;
    m_connection = connection;
    QSqlQuery load(db);
    load.setForwardOnly(true);
    load.prepare(QStringLiteral("SELECT path, seconds FROM places WHERE folder = ?"));
    load.addBindValue(m_key);
    if (!load.exec())
        return;
    while (load.next()) {
        const double s = load.value(1).toDouble();
        if (s > 0)
            m_at.insert(load.value(0).toString(), s);
    }
}

bool Places::run(const QString &sql, const QVariantList &values)
{
    if (m_connection.isEmpty())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return false;
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        return false; // the place stays in memory; the session file still resumes
    ++m_rows;
    return true;
}

void Places::keep(const QString &path, double seconds)
{
    if (path.isEmpty() || !(seconds > 0))
        return;
    const auto it = m_at.constFind(path);
    if (it != m_at.cend() && *it == seconds)
        return;
    m_at.insert(path, seconds);
    run(QStringLiteral("INSERT INTO places(folder, path, seconds) VALUES(?, ?, ?)"
                       " ON CONFLICT(folder, path) DO UPDATE SET seconds = excluded.seconds"),
        {m_key, path, seconds});
}

void Places::forget(const QString &path)
{
    if (!m_at.remove(path))
        return;
    run(QStringLiteral("DELETE FROM places WHERE folder = ? AND path = ?"), {m_key, path});
}

void Places::forgetAll()
{
    m_at.clear();
    run(QStringLiteral("DELETE FROM places WHERE folder = ?"), {m_key});
}

void Places::keepOnly(const std::function<bool(const QString &)> &listed)
{
    QStringList gone;
    for (auto it = m_at.cbegin(); it != m_at.cend(); ++it)
        if (!listed(it.key()))
            gone.append(it.key());
    for (const QString &path : gone)
        forget(path);
}
