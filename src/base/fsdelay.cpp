#include "base/fsdelay.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace fsdelay {

namespace {
std::atomic<int> delayMs{0};
// Never destroyed: a worker may still ask after the program's statics are gone.
std::mutex &guard = *new std::mutex;
QByteArray &slowName = *new QByteArray;
} // namespace

void set(const QByteArray &name, int ms)
{
    const std::lock_guard lock(guard);
    slowName = name;
    delayMs = name.isEmpty() ? 0 : ms;
}

void wait(const QByteArray &name)
{
    if (delayMs.load(std::memory_order_relaxed) <= 0)
        return;
    int ms = 0;
    {
        const std::lock_guard lock(guard);
        if (name == slowName)
            ms = delayMs;
    }
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace fsdelay
