#pragma once
// File-system work on a media file away from the window's thread: a dying disk or a hung
// mount may hold any call on it for seconds, and the window must go on answering.

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace offthread {

// What a fast disk answers within: waited for, so that its effects keep their old order.
constexpr int kFastMs = 50;

namespace detail {
// One job's meeting point. The worker is detached: one still blocked in a call when the
// program ends is left to the process's end, and what it returns then reaches nothing.
template <class T> struct Job {
    std::mutex mu;
    std::condition_variable cv;
    std::optional<T> value;
    bool waiting = true;
    bool open = true; // false once the receiver is gone
};

// Lives as a child of the context: when the context goes, so does this, and the gate closes.
template <class T> class Receiver : public QObject {
public:
    Receiver(QObject *parent, std::shared_ptr<Job<T>> job)
        : QObject(parent)
        , job(std::move(job))
    {
    }
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;
    ~Receiver() override
    {
        const std::lock_guard lock(job->mu);
        job->open = false;
    }

private:
    std::shared_ptr<Job<T>> job;
};
} // namespace detail

// Runs work on a thread of its own and hands its result to done on context's thread, never
// after context is gone. An answer within waitMs is handed over before run returns, so a
// fast disk keeps the order of effects it always had.
template <class T> void run(QObject *context, std::function<T()> work, std::function<void(T)> done, int waitMs)
{
    auto job = std::make_shared<detail::Job<T>>();
    auto *receiver = new detail::Receiver<T>(context, job);
    std::thread([job, receiver, work = std::move(work), done] {
        T value = work();
        const std::lock_guard lock(job->mu);
        job->value = std::move(value);
        if (job->waiting) {
            job->cv.notify_all();
        } else if (job->open) {
            // Posted under the lock: a receiver being destroyed waits for it, then drops it.
            QMetaObject::invokeMethod(
                receiver,
                [job, receiver, done] {
                    done(std::move(*job->value));
                    receiver->deleteLater();
                },
                Qt::QueuedConnection);
        }
    }).detach();
    std::unique_lock lock(job->mu);
    job->cv.wait_for(lock, std::chrono::milliseconds(waitMs), [&job] { return job->value.has_value(); });
    job->waiting = false;
    if (!job->value)
        return; // the worker posts it when it comes
    T value = std::move(*job->value);
    lock.unlock();
    receiver->deleteLater();
    done(std::move(value));
}

} // namespace offthread
