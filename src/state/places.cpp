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
    m_attached = false;
    m_key = m_db.keyBytes();
    m_at.clear();
    if (!m_db.isOpen())
        return;
    m_attached = true;
    QSqlQuery load(m_db.database());
    load.setForwardOnly(true);
    load.prepare(QStringLiteral("SELECT path, seconds FROM places WHERE folder = ?"));
    load.addBindValue(m_key);
    if (!load.exec())
        return;
    while (load.next()) {
        const double s = load.value(1).toDouble();
        if (s > 0)
            m_at.insert(fsname::decode(load.value(0).toByteArray()), s);
    }
}

bool Places::run(const QString &sql, const QVariantList &values)
{
    if (!m_attached || !m_db.isOpen())
        return false;
    QSqlQuery q(m_db.database());
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
        {m_key, statedb::schema::nameValue(path), seconds});
}

void Places::forget(const QString &path)
{
    if (!m_at.remove(path))
        return;
    run(QStringLiteral("DELETE FROM places WHERE folder = ? AND path = ?"), {m_key, statedb::schema::nameValue(path)});
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
