#pragma once
// The length of every playlist entry, read once per file: the state database keeps each
// file's length by path, size and modification time, and only new or changed files are
// opened again. Lengths arrive in the background; the database is touched on this
// (the main) thread only.

#include "playback/length_reader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

namespace lengths {

class LengthCache : public QObject {
    Q_OBJECT
public:
    explicit LengthCache(QObject *parent = nullptr);
    ~LengthCache() override;

    // The state database's connection (StateDb::connectionName; "" or closed: lengths are
    // read every run).
    void setConnection(const QString &name);
    // A new playlist: its lengths are looked up and read from now on.
    void setPaths(QStringList paths);

    // Seconds per entry of the last setPaths; NaN while not known, -1 when unreadable.
    const std::vector<double> &lengthOf() const { return m_len; }
    // Every entry of the last setPaths has an answer.
    bool complete() const { return m_answered == m_len.size(); }
    // Files opened by libavformat so far (the others came from the cache).
    int filesRead() const { return m_worker.filesRead(); }

    // Runs after each batch of answers.
    std::function<void()> changed;

private:
    void feed();
    void take(const std::vector<Result> &batch);
    void save(bool all = false);
    bool hasDatabase() const;

    LengthWorker m_worker;
    QString m_connection;
    quint64 m_generation = 0;
    QStringList m_paths; // shared with the playlist
    std::vector<double> m_len;
    size_t m_answered = 0;
    size_t m_next = 0; // next entry to look up and hand to the worker
    bool m_feedQueued = false;
    struct Unsaved {
        QByteArray path;
        qint64 size, mtimeNs;
        double seconds;
    };
    std::vector<Unsaved> m_unsaved;
    QTimer m_saveTimer;
    static constexpr int kSaveMs = 1000;
    static constexpr size_t kSaveRows = 300;
};

} // namespace lengths
