#include "playback/length_cache.h"

#include "base/fsname.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <limits>

namespace lengths {

namespace {
// Entries looked up per turn of the event loop, and how far the worker may be ahead:
// small enough that a turn takes a few milliseconds and the queue little memory.
constexpr size_t kSlice = 200;
constexpr int kMaxBacklog = 400;
} // namespace

LengthCache::LengthCache(QObject *parent)
    : QObject(parent)
    , m_worker([this](const std::vector<Result> &b) { take(b); })
{
    // New lengths are written together, once a second at most.
    m_saveTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { save(); });
}

LengthCache::~LengthCache() { save(true); }

void LengthCache::setConnection(const QString &name) { m_connection = name; }

// The table is the state database's own (state/schema.cpp).
bool LengthCache::hasDatabase() const
{
    return !m_connection.isEmpty() && QSqlDatabase::database(m_connection, false).isOpen();
}

void LengthCache::setPaths(QStringList paths)
{
    ++m_generation;
    m_worker.dropBefore(m_generation);
    m_paths = std::move(paths);
    m_len.assign(size_t(m_paths.size()), std::numeric_limits<double>::quiet_NaN());
    m_answered = 0;
    m_next = 0;
    feed();
}

void LengthCache::feed()
{
    m_feedQueued = false;
    if (m_next >= size_t(m_paths.size()) || m_worker.backlog() > kMaxBacklog)
        return; // the next answers call feed again
    const size_t end = std::min(size_t(m_paths.size()), m_next + kSlice);
    std::vector<Job> jobs;
    jobs.reserve(end - m_next);
    for (size_t i = m_next; i < end; ++i)
        jobs.push_back({m_generation, int(i), fsname::encode(m_paths.at(qsizetype(i)))});
    m_next = end;

    if (hasDatabase()) {
        QHash<QByteArray, std::vector<size_t>> at;
        QString sql = QStringLiteral("SELECT path, size, mtime_ns, seconds FROM lengths WHERE path IN (");
        for (size_t j = 0; j < jobs.size(); ++j) {
            at[jobs[j].path].push_back(j);
            sql += j ? QStringLiteral(",?") : QStringLiteral("?");
        }
        sql += QLatin1Char(')');
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        q.setForwardOnly(true);
        q.prepare(sql);
        for (const Job &j : jobs)
            q.addBindValue(j.path);
        if (q.exec())
            while (q.next())
                for (size_t j : at.value(q.value(0).toByteArray())) {
                    jobs[j].known = true;
                    jobs[j].size = q.value(1).toLongLong();
                    jobs[j].mtimeNs = q.value(2).toLongLong();
                    jobs[j].seconds = q.value(3).toDouble();
                }
    }
    m_worker.submit(std::move(jobs));
    if (m_next == size_t(m_paths.size())) {
        // Every path is with the worker: the list's array is not held past its next change.
        m_paths = {};
        m_next = 0;
        return;
    }
    if (!m_feedQueued) {
        m_feedQueued = true;
        QTimer::singleShot(0, this, [this] { feed(); });
    }
}

void LengthCache::take(const std::vector<Result> &batch)
{
    for (const Result &r : batch)
        if (r.fresh && !m_connection.isEmpty())
            m_unsaved.push_back({r.path, r.size, r.mtimeNs, r.seconds});
    if (!m_unsaved.empty() && !m_saveTimer.isActive())
        m_saveTimer.start(kSaveMs);
    bool any = false;
    for (const Result &r : batch) {
        if (r.generation != m_generation || r.index < 0 || size_t(r.index) >= m_len.size())
            continue;
        if (std::isnan(m_len[size_t(r.index)]))
            ++m_answered;
        m_len[size_t(r.index)] = r.seconds >= 0 ? r.seconds : -1;
        any = true;
    }
    if (!m_feedQueued && m_next < size_t(m_paths.size())) {
        m_feedQueued = true;
        QTimer::singleShot(0, this, [this] { feed(); });
    }
    if (any && changed)
        changed();
}

void LengthCache::save(bool all)
{
    if (m_unsaved.empty() || !hasDatabase()) {
        m_unsaved.clear();
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery sync(db);
    // A lost length is only read again: these commits need not wait for the disk, which
    // would hold up the main thread for tens of milliseconds each.
    sync.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    const bool tx = db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO lengths(path, size, mtime_ns, seconds) VALUES(?, ?, ?, ?)"));
    // A few hundred rows at a time, so that no turn of the event loop writes for long.
    const size_t n = std::min(m_unsaved.size(), all ? m_unsaved.size() : kSaveRows);
    for (size_t i = 0; i < n; ++i) {
        const Unsaved &u = m_unsaved[i];
        q.bindValue(0, u.path);
        q.bindValue(1, u.size);
        q.bindValue(2, u.mtimeNs);
        q.bindValue(3, u.seconds);
        // Another connection's lock would cost a busy wait per row: the rest are read again next run.
        if (!q.exec())
            break;
    }
    q.finish();
    if (tx && !db.commit())
        db.rollback();
    // What the rest of the program writes keeps its own guarantee.
    sync.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    m_unsaved.erase(m_unsaved.begin(), m_unsaved.begin() + qsizetype(n));
    if (!m_unsaved.empty())
        m_saveTimer.start(kSaveMs / 10);
}

} // namespace lengths
