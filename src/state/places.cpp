#include "state/places.h"

#include "base/fsname.h"
#include "state/schema.h"
#include "state/state_db.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

Places::Places(StateDb &db)
    : m_db(db)
{
}

void Places::attach()
{
    // Places kept in memory for the same folder before the database could be had go into it.
    QHash<QString, double> before;
    if (m_db.keyBytes() == m_key)
        before.swap(m_at);
    m_key = m_db.keyBytes();
    m_at.clear();
    m_attached = m_db.isOpen();
    if (m_attached) {
        QSqlQuery load(m_db.database());
        load.setForwardOnly(true);
        load.prepare(QStringLiteral("SELECT path, seconds FROM places WHERE folder = ?"));
        load.addBindValue(m_key);
        if (load.exec())
            while (load.next()) {
                const double s = load.value(1).toDouble();
                if (s > 0)
                    m_at.insert(fsname::decode(load.value(0).toByteArray()), s);
            }
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        keep(it.key(), it.value());
}

bool Places::run(const QString &key, const QString &sql, const QVariantList &values)
{
    if (!m_attached || !m_db.isOpen())
        return false;
    // Unwritten, the place stays in memory (held while the file is locked); the session file still resumes.
    if (!m_db.exec(key, sql, values))
        return false;
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
    run(QStringLiteral("places\n") + path,
        QStringLiteral("INSERT INTO places(folder, path, seconds) VALUES(?, ?, ?)"
                       " ON CONFLICT(folder, path) DO UPDATE SET seconds = excluded.seconds"),
        {m_key, statedb::schema::nameValue(path), seconds});
}

void Places::forget(const QString &path)
{
    if (!m_at.remove(path))
        return;
    run(QStringLiteral("places\n") + path, QStringLiteral("DELETE FROM places WHERE folder = ? AND path = ?"),
        {m_key, statedb::schema::nameValue(path)});
}

void Places::forgetAll()
{
    m_at.clear();
    run(QStringLiteral("places"), QStringLiteral("DELETE FROM places WHERE folder = ?"), {m_key});
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
