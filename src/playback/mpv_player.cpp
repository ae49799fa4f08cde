#include "playback/mpv_player.h"

#include "base/fsname.h"
#include "base/fsprobe.h"
#include "playback/loudness_logic.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mpv/client.h>
#include <mutex>
#include <thread>
#include <utility>

namespace {
// The playlist entry id a loadfile's reply names (-1: none); the reply is freed.
long long takeEntryId(mpv_node &result)
{
    long long id = -1;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0
                && result.u.list->values[i].format == MPV_FORMAT_INT64)
                id = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    return id;
}

void onWakeup(void *ctx)
{
    // mpv calls this from one of its own threads: only queue a call into ours.
    auto *self = static_cast<MpvPlayer *>(ctx);
    QMetaObject::invokeMethod(self, "drainEventsSlot", Qt::QueuedConnection);
}

const MpvPlayer::Options &defaultOptions()
{
    static const MpvPlayer::Options opts = {
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"osc", "no"},
        {"ytdl", "no"},
        {"load-scripts", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        {"idle", "yes"},
        {"keep-open", "yes"},
        // The end of a file is reported once its sound has played out, not when the decoder
        // is done: the next file's open would drop what is still queued, its last words.
        {"gapless-audio", "no"},
        // A file prepared to follow is opened ahead, so that it can be joined without a gap.
        {"prefetch-playlist", "yes"},
        {"audio-display", "no"},
        // The sound outputs a Linux desktop has, in mpv's own order. Not SDL's: with no device
        // anywhere every file tries each output again, and SDL's audio, started over and over
        // from mpv's thread, ends the program through a null call within minutes.
        {"ao", "pipewire,pulse,alsa,jack"},
        // Without a sound device a file still plays, on the clock.
        {"audio-fallback-to-null", "yes"},
        {"audio-client-name", "velloran"},
    };
    return opts;
}

mpv_handle *makeCore(const MpvPlayer::Options &extra)
{
    mpv_handle *h = mpv_create();
    if (!h)
        return nullptr;
    for (const auto &[name, value] : defaultOptions())
        mpv_set_option_string(h, name.constData(), value.constData());
    for (const auto &[name, value] : extra)
        mpv_set_option_string(h, name.constData(), value.constData());
    if (mpv_initialize(h) < 0) {
        mpv_terminate_destroy(h);
        return nullptr;
    }
    return h;
}

} // namespace

MpvPlayer::MpvPlayer(Options extra, QObject *parent, bool onFirstUse)
    : Player(parent)
    , m_extra(std::move(extra))
{
    // Made on a thread of its own, the core is ready by the time the window is built.
    if (!onFirstUse)
        m_making = std::async(std::launch::async, makeCore, m_extra);
}

mpv_handle *MpvPlayer::core()
{
    if (m_created)
        return m_mpv;
    m_created = true;
    mpv_handle *h = m_making.valid() ? m_making.get() : makeCore(m_extra);
    if (!h)
        return nullptr;
    m_mpv = h;
    mpv_set_wakeup_callback(m_mpv, onWakeup, this);
    mpv_observe_property(m_mpv, 0, "eof-reached", MPV_FORMAT_FLAG);
    // Set while there was no core yet.
    if (m_volume != 0)
        setVolume(m_volume);
    if (m_speed != 1.0)
        setSpeed(m_speed);
    if (m_loudness != 0)
        setLoudness(m_loudness);
    return m_mpv;
}

MpvPlayer::~MpvPlayer()
{
    // A core never used is ended without being wired to this player first.
    if (mpv_handle *unused = m_making.valid() ? m_making.get() : nullptr)
        mpv_terminate_destroy(unused);
    if (m_mpv) {
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
    }
}

double MpvPlayer::mpvVolumeFor(int hundredthsDb)
{
    // mpv's gain is (volume/100)^3, so a level of L dB needs volume = 100 * 10^(L/60).
    return 100.0 * std::pow(10.0, hundredthsDb / 6000.0);
}

void MpvPlayer::drainEventsSlot() { drainEvents(); }

void MpvPlayer::drainEvents()
{
    if (!m_mpv)
        return;
    for (;;) {
        mpv_event *ev = mpv_wait_event(m_mpv, 0);
        if (ev->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*ev);
    }
}

void MpvPlayer::handleEvent(const mpv_event &ev)
{
    if (ev.event_id != MPV_EVENT_NONE)
        dropSample();
    switch (ev.event_id) {
    case MPV_EVENT_SEEK:
        m_seekBegun = true;
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_pendingSeek && m_seekBegun) {
            double pos = 0;
            if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos) >= 0
                && std::abs(pos - *m_pendingSeek) < 1.0)
                m_pendingSeek.reset();
        }
        emit changed();
        break;
    case MPV_EVENT_START_FILE: {
        // Replacing a file first ends the old entry: only our own entry's start counts.
        const auto *sf = static_cast<const mpv_event_start_file *>(ev.data);
        if (sf && m_entryId >= 0 && sf->playlist_entry_id == m_entryId)
            m_started = true;
        if (sf && m_nextId >= 0 && sf->playlist_entry_id == m_nextId && !m_movedOn)
            movedOn();
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        if (m_movedOn)
            m_nextLoaded = true;
        else if (m_started && !m_loaded && !m_failed) {
            if (loadEventHoldMs > 0) {
                const quint64 gen = m_openGeneration;
                QTimer::singleShot(loadEventHoldMs, this, [this, gen] {
                    if (gen == m_openGeneration && !m_failed)
                        loadedNow();
                });
            } else {
                loadedNow();
            }
        }
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *p = static_cast<const mpv_event_property *>(ev.data);
        if (p->format == MPV_FORMAT_FLAG && *static_cast<const int *>(p->data) != 0 && m_loaded)
            emit ended();
        break;
    }
    case MPV_EVENT_END_FILE: {
        const auto *ef = static_cast<const mpv_event_end_file *>(ev.data);
        if (ef && ef->playlist_entry_id == m_entryId && !m_loaded && !m_failed) {
            m_failed = true;
            openEnded();
        }
        // The prepared file could not be played: whoever wants it opens it the usual way.
        if (ef && ef->playlist_entry_id == m_nextId && m_movedOn) {
            m_nextId = -1;
            m_nextFile.clear();
        }
        break;
    }
    default:
        break;
    }
}

void MpvPlayer::setFileName(const QString &path)
{
    const quint64 me = ++m_openGeneration;
    // An open still waiting below us gives way: its loop ends once ours has.
    if (m_openLoop)
        m_openLoop->quit();
    if (m_movedOn && m_nextId >= 0 && path == m_nextFile) {
        takeOverNext(me);
        return;
    }
    const bool prepared = m_nextId >= 0 || m_movedOn;
    m_nextFile.clear();
    m_nextId = -1;
    m_movedOn = false;
    m_nextLoaded = false;
    m_fromStart = false;
    if (m_mpv && prepared)
        mpv_command_string(m_mpv, "playlist-clear");
    if (m_mpv)
        setGapless(false);
    m_file = path;
    dropSample();
    ++m_openCount;
    m_loaded = false;
    m_failed = false;
    m_paused = true;
    m_stopped = false;
    m_atEnd = false;
    m_started = false;
    m_duration = 0;
    m_pendingSeek.reset();
    m_entryId = -1;
    if (!core()) {
        m_failed = true;
        return;
    }
    drainEvents(); // whatever is queued belongs to the previous file
    mpv_set_property_string(m_mpv, "pause", "yes");

    // A FIFO, socket or device would block the player's open (a FIFO until some writer
    // comes): like a missing file it fails at once and is never opened.
    const QDeadlineTimer deadline(kOpenTimeoutMs);
    const std::optional<bool> strange = strangeFile(path, me, deadline);
    if (me != m_openGeneration)
        return;
    if (strange.value_or(true)) {
        mpv_command_string(m_mpv, "stop");
        m_failed = true;
        emit changed();
        return;
    }

    const QByteArray file = fsname::encode(path); // the file system's own bytes
    const char *cmd[] = {"loadfile", file.constData(), "replace", nullptr};
    mpv_node result;
    if (mpv_command_ret(m_mpv, cmd, &result) < 0) {
        m_failed = true;
        emit changed();
        return;
    }
    m_entryId = takeEntryId(result);

    waitInLoop(me, deadline, [this] { return m_loaded || m_failed; });
    if (me != m_openGeneration)
        return; // a newer open took the player over while this one waited
    if (!m_loaded)
        m_failed = true;
    emit changed();
}

std::optional<bool> MpvPlayer::strangeFile(const QString &path, quint64 generation, const QDeadlineTimer &deadline)
{
    // Shared with a worker that may outlive the wait (a hung mount).
    struct Probe {
        std::mutex lock;
        std::condition_variable answered;
        int kind = -1; // -1 while unknown
    };
    auto probe = std::make_shared<Probe>();
    std::thread([probe, name = fsname::encode(path)] {
        const int kind = fsprobe::kindOf(name) == fsprobe::Kind::Other ? 1 : 0;
        {
            const std::lock_guard<std::mutex> hold(probe->lock);
            probe->kind = kind;
        }
        probe->answered.notify_one();
    }).detach();
    const auto kind = [&probe] {
        const std::lock_guard<std::mutex> hold(probe->lock);
        return probe->kind;
    };
    {
        // Usually the answer comes at once: woken by it, not by a poll of the loop, the open
        // goes on without a wait of its own.
        std::unique_lock<std::mutex> hold(probe->lock);
        probe->answered.wait_for(hold, std::chrono::milliseconds(kProbeBlockMs), [&probe] { return probe->kind >= 0; });
    }
    waitInLoop(
        generation, deadline, [&kind] { return kind() >= 0; }, 5);
    const int k = kind();
    if (k < 0)
        return std::nullopt;
    return k == 1;
}

void MpvPlayer::waitInLoop(quint64 generation, const QDeadlineTimer &deadline, const std::function<bool()> &done,
                           int pollMs)
{
    // The caller goes on with a loaded or a failed file, as before; meanwhile the event
    // loop runs (paint, close, timers, mpv's own events), so a slow disk never freezes
    // the window. Whoever starts a file during the wait must expect this one to give way.
    drainEvents();
    if (done() || generation != m_openGeneration || deadline.hasExpired())
        return;
    QEventLoop loop;
    QEventLoop *outer = m_openLoop;
    m_openLoop = &loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (pollMs > 0)
        poll.start(pollMs);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(int(std::max<qint64>(0, deadline.remainingTime())));
    QTimer slow;
    slow.setSingleShot(true);
    QObject::connect(&slow, &QTimer::timeout, this, &MpvPlayer::openIsSlow);
    slow.start(kSlowOpenMs);
    loop.exec();
    m_openLoop = outer;
}

void MpvPlayer::takeOverNext(quint64 generation)
{
    m_file = m_nextFile;
    m_entryId = m_nextId;
    m_nextFile.clear();
    m_nextId = -1;
    m_movedOn = false;
    ++m_openCount;
    m_failed = false;
    m_paused = false;
    m_stopped = false;
    m_atEnd = false;
    m_duration = 0;
    m_pendingSeek.reset();
    m_fromStart = true;
    dropSample();
    // Its own end is reported once its sound has played out, unless another file is prepared.
    setGapless(false);
    m_started = true;
    m_loaded = false;
    if (m_nextLoaded)
        loadedNow();
    m_nextLoaded = false;
    waitInLoop(generation, QDeadlineTimer(kOpenTimeoutMs), [this] { return m_loaded || m_failed; });
    if (generation != m_openGeneration)
        return;
    if (!m_loaded)
        m_failed = true;
    emit changed();
}

void MpvPlayer::prepareNext(const QString &path)
{
    if (!m_mpv || path == m_nextFile)
        return;
    // mpv may have gone on to the prepared file before its start event is handled here:
    // withdrawn from the list then, it would play on unseen.
    if (m_nextId >= 0 && !m_movedOn && playingEntry() == m_nextId)
        movedOn();
    if (m_movedOn && !path.isEmpty())
        return;
    if (m_movedOn) {
        // Nothing takes the prepared file over: it must not play on unseen.
        mpv_command_string(m_mpv, "stop");
        m_atEnd = true;
        m_movedOn = false;
        m_nextLoaded = false;
    } else if (m_nextId >= 0) {
        mpv_command_string(m_mpv, "playlist-clear");
    }
    m_nextFile.clear();
    m_nextId = -1;
    // At its end the file is held paused (keep-open): mpv would go on to an entry added now
    // at once, and paused. The usual road opens the next file instead.
    int ended = 0;
    mpv_get_property(m_mpv, "eof-reached", MPV_FORMAT_FLAG, &ended);
    // Only a regular file: a FIFO or a device would hold mpv in its open.
    if (path.isEmpty() || !m_loaded || m_failed || m_atEnd || ended || !fsprobe::isRegular(path)) {
        setGapless(false);
        return;
    }
    setGapless(true);
    const QByteArray file = fsname::encode(path);
    const char *cmd[] = {"loadfile", file.constData(), "append", nullptr};
    mpv_node result;
    if (mpv_command_ret(m_mpv, cmd, &result) < 0) {
        setGapless(false);
        return;
    }
    m_nextId = takeEntryId(result);
    if (m_nextId >= 0)
        m_nextFile = path;
}

void MpvPlayer::movedOn()
{
    m_movedOn = true;
    // Reached the end just before the entry was added, mpv went on paused.
    if (!m_paused)
        mpv_set_property_string(m_mpv, "pause", "no");
    watchTail();
}

long long MpvPlayer::playingEntry()
{
    int64_t pos = -1, id = -1;
    if (mpv_get_property(m_mpv, "playlist-playing-pos", MPV_FORMAT_INT64, &pos) < 0 || pos < 0)
        return -1;
    const QByteArray name = "playlist/" + QByteArray::number(qint64(pos)) + "/id";
    return mpv_get_property(m_mpv, name.constData(), MPV_FORMAT_INT64, &id) < 0 ? -1 : id;
}

void MpvPlayer::watchTail()
{
    // mpv went on to the prepared file by itself; the old one has ended for the program once
    // its last sound is heard: the new file's sound has no time until its output plays, and
    // a time below 0 while the old sound still plays before it. A file whose sound never
    // comes is given up after a few seconds.
    m_tailWaits = 0;
    if (!m_tailPoll) {
        m_tailPoll = new QTimer(this);
        m_tailPoll->setInterval(10);
        connect(m_tailPoll, &QTimer::timeout, this, [this] {
            double pos = -1;
            const bool waiting = m_movedOn && m_nextId >= 0
                && (!m_nextLoaded || mpv_get_property(m_mpv, "audio-pts", MPV_FORMAT_DOUBLE, &pos) < 0 || pos < 0);
            if (waiting && ++m_tailWaits < kTailWaits)
                return;
            m_tailPoll->stop();
            if (!m_movedOn)
                return;
            m_atEnd = true;
            dropSample();
            emit ended();
        });
    }
    m_tailPoll->start();
}

void MpvPlayer::setGapless(bool on)
{
    if (on == m_gapless)
        return;
    m_gapless = on;
    // weak: formats that differ still get a fresh output, after the old sound has played out.
    mpv_set_property_string(m_mpv, "gapless-audio", on ? "weak" : "no");
}

void MpvPlayer::loadedNow()
{
    m_loaded = true;
    // A file just loaded stands at its start: an open at second 0 (every Next) plays on
    // without a seek there, which would decode the start twice before the first sound.
    m_fromStart = true;
    dropSample();
    mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &m_duration);
    openEnded();
}

void MpvPlayer::openEnded()
{
    if (m_openLoop)
        m_openLoop->quit();
}

const MpvPlayer::Sample &MpvPlayer::sample()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    const qint64 now = clock.elapsed();
    if (m_sample.takenAt >= 0 && now - m_sample.takenAt < 10)
        return m_sample;
    m_sample.takenAt = now;
    int flag = 0;
    // mpv may have gone on before its start event is handled here: the figures would be the
    // next file's, read as this one's.
    if (m_mpv && m_nextId >= 0 && !m_movedOn && playingEntry() == m_nextId)
        movedOn();
    m_sample.eof = m_mpv && mpv_get_property(m_mpv, "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag;
    // After mpv moved on the figures are the next file's, not yet the program's.
    if (m_loaded && !m_failed && !m_movedOn) {
        double d = 0;
        if (mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &d) >= 0)
            m_duration = d;
        double pos = 0;
        mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos);
        // The first frame of some files lies a hair before 0.
        m_sample.position = std::max(0.0, pos);
    }
    return m_sample;
}

bool MpvPlayer::eofReached() { return sample().eof; }

double MpvPlayer::Duration()
{
    if (m_loaded && !m_failed)
        sample();
    return m_duration;
}

double MpvPlayer::CurrentPosition()
{
    if (m_openCount == 0)
        return 0;
    // A file that failed to open, or one played to its end, reports its length as its
    // position, so that whoever follows it sees the end.
    if (m_failed || !m_loaded || m_atEnd || eofReached())
        return Duration();
    if (m_pendingSeek)
        return *m_pendingSeek;
    return sample().position;
}

void MpvPlayer::setCurrentPosition(double seconds)
{
    if (!m_loaded || m_failed)
        return;
    if (seconds < 0)
        seconds = 0;
    // Also Play's return to the start of a file that ended before it was taken over.
    if (m_fromStart && seconds == 0)
        return;
    m_fromStart = false;
    // A start at or past the end (a remembered second of a file since shortened) is the
    // file's end at once: seeking there would stall and then play from the top.
    m_atEnd = m_duration > 0 && seconds >= m_duration;
    if (m_atEnd) {
        m_pendingSeek.reset();
        setPause(true);
        return;
    }
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *cmd[] = {"seek", target.constData(), "absolute+exact", nullptr};
    m_seekBegun = false;
    if (mpv_command(m_mpv, cmd) < 0)
        return;
    dropSample();
    m_pendingSeek = seconds;
    // Local seeks take milliseconds; waiting a little keeps the next read exact.
    QDeadlineTimer deadline(1000);
    while (m_pendingSeek && !deadline.hasExpired()) {
        mpv_event *ev = mpv_wait_event(m_mpv, deadline.remainingTime() / 1000.0);
        handleEvent(*ev);
    }
    emit changed();
}

void MpvPlayer::setPause(bool pause)
{
    m_fromStart = false;
    m_paused = pause;
    dropSample();
    if (m_mpv) {
        int flag = pause ? 1 : 0;
        mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag);
    }
    emit changed();
}

int MpvPlayer::PlayState()
{
    if (!m_loaded || m_failed || m_atEnd || eofReached())
        return Stopped;
    return m_paused ? (m_stopped ? Stopped : Paused) : Playing;
}

void MpvPlayer::Play()
{
    if (!m_loaded || m_failed || m_atEnd)
        return;
    if (eofReached())
        setCurrentPosition(0);
    m_stopped = false;
    setPause(false);
}

void MpvPlayer::Pause()
{
    if (!m_loaded || m_failed)
        return;
    setPause(true);
}

void MpvPlayer::Stop()
{
    if (!m_loaded || m_failed)
        return;
    m_stopped = true;
    setPause(true);
    setCurrentPosition(0);
}

void MpvPlayer::setVolume(int v)
{
    m_volume = v;
    if (!m_mpv)
        return;
    double level = mpvVolumeFor(v);
    mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &level);
}

void MpvPlayer::setSpeed(double factor)
{
    // mpv keeps the pitch by itself (audio-pitch-correction) and keeps the speed across files.
    m_speed = factor;
    if (m_mpv)
        mpv_set_property(m_mpv, "speed", MPV_FORMAT_DOUBLE, &factor);
    dropSample();
}

void MpvPlayer::setLoudness(int choice)
{
    m_loudness = choice;
    if (!m_mpv)
        return;
    const loudness::MpvSettings s = loudness::mpvSettingsFor(choice);
    mpv_set_property_string(m_mpv, "replaygain", s.replaygain);
    mpv_set_property_string(m_mpv, "af", s.af);
}

QSize MpvPlayer::extent()
{
    if (!m_mpv)
        return {};
    // The display size is known once a frame is decoded; until then the container's.
    for (const auto &[wp, hp] : {std::pair{"dwidth", "dheight"}, std::pair{"width", "height"}}) {
        int64_t w = 0, h = 0;
        if (mpv_get_property(m_mpv, wp, MPV_FORMAT_INT64, &w) >= 0
            && mpv_get_property(m_mpv, hp, MPV_FORMAT_INT64, &h) >= 0 && w > 0 && h > 0)
            return QSize(int(w), int(h));
    }
    return {};
}
