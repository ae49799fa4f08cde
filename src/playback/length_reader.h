#pragma once
// Media lengths read from file headers by libavformat on a worker thread of its own, so
// that neither start-up nor the 60 ms tick waits for a disk.

#include <QByteArray>
#include <QObject>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

namespace lengths {

// Seconds of the regular file at path (the file system's bytes), from its headers; the
// streams are probed only when the container states no length. -1 when unreadable.
double readMediaLength(const QByteArray &path);

struct Job {
    quint64 generation = 0;
    int index = -1;
    QByteArray path;
    // What the cache holds for path; known false when it holds nothing.
    bool known = false;
    qint64 size = 0, mtimeNs = 0;
    double seconds = -1;
};

struct Result {
    quint64 generation = 0;
    int index = -1;
    QByteArray path;
    qint64 size = 0, mtimeNs = 0;
    double seconds = -1; // -1: not media, not a regular file, or missing
    bool fresh = false;  // read from the file now (the cache should keep it)
};

class LengthWorker : public QObject {
    Q_OBJECT
public:
    // done runs on this object's thread with results in batches.
    explicit LengthWorker(std::function<void(std::vector<Result>)> done, QObject *parent = nullptr);
    ~LengthWorker() override;

    void submit(std::vector<Job> jobs);
    // Jobs of older generations still waiting are dropped.
    void dropBefore(quint64 generation);
    // Jobs waiting or being worked on.
    int backlog() const;
    // Files opened by libavformat so far.
    int filesRead() const;

    struct Shared;

private:
    std::shared_ptr<Shared> d;
    std::function<void(std::vector<Result>)> m_done;
    void deliver(std::vector<Result> batch);
};

} // namespace lengths
