#include "playback/length_reader.h"

#include "base/fsprobe.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace lengths {

double readMediaLength(const QByteArray &path)
{
    AVFormatContext *ctx = nullptr;
    if (avformat_open_input(&ctx, path.constData(), nullptr, nullptr) < 0)
        return -1;
    double seconds = -1;
    // Some containers (MPEG program and transport streams) name their streams only once probed.
    if (ctx->duration == AV_NOPTS_VALUE || ctx->duration <= 0 || ctx->nb_streams == 0)
        avformat_find_stream_info(ctx, nullptr);
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0) {
        seconds = double(ctx->duration) / AV_TIME_BASE;
    } else {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            const AVStream *st = ctx->streams[i];
            if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                seconds = std::max(seconds, double(st->duration) * av_q2d(st->time_base));
        }
    }
    // A file with no stream at all is not media, whatever the probe guessed.
    if (ctx->nb_streams == 0)
        seconds = -1;
    avformat_close_input(&ctx);
    return seconds;
}

struct LengthWorker::Shared {
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<Job> jobs;
    int working = 0;
    bool stop = false;
    bool ended = false;
    int reads = 0;
    LengthWorker *receiver = nullptr; // null once the owner is gone
};

namespace {

void work(const std::shared_ptr<LengthWorker::Shared> &d, void (*post)(LengthWorker *, std::vector<Result>))
{
    using Clock = std::chrono::steady_clock;
    // Reading is never urgent: the user interface's thread goes first.
    setpriority(PRIO_PROCESS, gettid(), 19);
    std::vector<Result> batch;
    auto lastPost = Clock::now();
    std::unique_lock lock(d->mutex);
    for (;;) {
        const bool flush = !batch.empty()
            && (d->jobs.empty() || batch.size() >= 64 || Clock::now() - lastPost > std::chrono::milliseconds(200));
        if (flush || d->stop) {
            if (d->receiver && !batch.empty())
                post(d->receiver, std::move(batch));
            batch.clear();
            d->working = 0;
            lastPost = Clock::now();
        }
        if (d->stop)
            break;
        if (d->jobs.empty()) {
            d->wake.wait(lock, [&] { return d->stop || !d->jobs.empty(); });
            continue;
        }
        Job job = std::move(d->jobs.front());
        d->jobs.pop_front();
        ++d->working;
        lock.unlock();

        Result r{job.generation, job.index, job.path, 0, 0, -1, false};
        struct stat st { };
        // Only regular files: a FIFO or device would block the open, or never end.
        if (fsprobe::kindOf(job.path, &st) == fsprobe::Kind::Regular) {
            r.size = st.st_size;
            r.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            if (job.known && job.size == r.size && job.mtimeNs == r.mtimeNs) {
                r.seconds = job.seconds;
            } else {
                r.seconds = readMediaLength(job.path);
                r.fresh = true;
            }
        }
        batch.push_back(std::move(r));
        lock.lock();
        if (batch.back().fresh)
            ++d->reads;
    }
    d->ended = true;
    d->finished.notify_all();
}

} // namespace

LengthWorker::LengthWorker(std::function<void(std::vector<Result>)> done, QObject *parent)
    : QObject(parent)
    , d(std::make_shared<Shared>())
    , m_done(std::move(done))
{
    d->receiver = this;
    std::thread(work, d, [](LengthWorker *w, std::vector<Result> batch) {
        // Called with the lock held, so the receiver cannot be destroyed meanwhile.
        QMetaObject::invokeMethod(
            w, [w, b = std::move(batch)]() mutable { w->deliver(std::move(b)); }, Qt::QueuedConnection);
    }).detach();
}

LengthWorker::~LengthWorker()
{
    std::unique_lock lock(d->mutex);
    d->receiver = nullptr;
    d->stop = true;
    d->jobs.clear();
    d->wake.notify_all();
    // A read stuck on a hung mount must not hold the program: the thread keeps only the
    // shared state and ends on its own.
    d->finished.wait_for(lock, std::chrono::seconds(2), [this] { return d->ended; });
}

void LengthWorker::deliver(std::vector<Result> batch)
{
    if (m_done)
        m_done(std::move(batch));
}

void LengthWorker::submit(std::vector<Job> jobs)
{
    std::lock_guard lock(d->mutex);
    for (Job &j : jobs)
        d->jobs.push_back(std::move(j));
    d->wake.notify_all();
}

void LengthWorker::dropBefore(quint64 generation)
{
    std::lock_guard lock(d->mutex);
    std::erase_if(d->jobs, [generation](const Job &j) { return j.generation < generation; });
}

int LengthWorker::backlog() const
{
    std::lock_guard lock(d->mutex);
    return int(d->jobs.size()) + d->working;
}

int LengthWorker::filesRead() const
{
    std::lock_guard lock(d->mutex);
    return d->reads;
}

} // namespace lengths
