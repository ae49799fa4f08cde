#include "playback/mpv_player.h"

#include "session/fsname.h"

#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <cmath>
#include <mpv/client.h>

namespace {

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
        {"audio-display", "no"},
        // Without a sound device a file still plays, on the clock.
        {"audio-fallback-to-null", "yes"},
        {"audio-client-name", "velloran"},
    };
    return opts;
}

} // namespace

MpvPlayer::MpvPlayer(Options extra, QObject *parent)
    : Player(parent)
{
    mpv_handle *h = mpv_create();
    if (!h)
        return;
    for (const auto &[name, value] : defaultOptions())
        mpv_set_option_string(h, name.constData(), value.constData());
    for (const auto &[name, value] : extra)
        mpv_set_option_string(h, name.constData(), value.constData());
    if (mpv_initialize(h) < 0) {
        mpv_terminate_destroy(h);
        return;
    }
    m_mpv = h;
    mpv_set_wakeup_callback(m_mpv, onWakeup, this);
}

MpvPlayer::~MpvPlayer()
{
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

void MpvPlayer::drainEventsSlot()
{
    drainEvents();
}

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
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_pendingSeek) {
            double pos = 0;
            if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos) >= 0
                && std::abs(pos - *m_pendingSeek) < 1.0)
                m_pendingSeek.reset();
        }
        emit changed();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *ef = static_cast<const mpv_event_end_file *>(ev.data);
        if (ef && ef->playlist_entry_id == m_entryId && !m_loaded)
            m_failed = true;
        break;
    }
    default:
        break;
    }
}

void MpvPlayer::setFileName(const QString &path)
{
    m_file = path;
    dropSample();
    ++m_openCount;
    m_loaded = false;
    m_failed = false;
    m_paused = true;
    m_stopped = false;
    m_duration = 0;
    m_pendingSeek.reset();
    m_entryId = -1;
    if (!m_mpv) {
        m_failed = true;
        return;
    }
    drainEvents(); // whatever is queued belongs to the previous file
    mpv_set_property_string(m_mpv, "pause", "yes");

    const QByteArray file = fsname::encode(path); // the file system's own bytes
    const char *cmd[] = {"loadfile", file.constData(), "replace", nullptr};
    mpv_node result;
    if (mpv_command_ret(m_mpv, cmd, &result) < 0) {
        m_failed = true;
        emit changed();
        return;
    }
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0
                && result.u.list->values[i].format == MPV_FORMAT_INT64)
                m_entryId = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);

    // Replacing a file first ends the old entry: wait for our own entry's start, then
    // for it to load or to fail.
    bool started = false;
    QDeadlineTimer deadline(kOpenTimeoutMs);
    while (!m_loaded && !m_failed) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            m_failed = true;
            break;
        }
        mpv_event *ev = mpv_wait_event(m_mpv, left / 1000.0);
        switch (ev->event_id) {
        case MPV_EVENT_START_FILE: {
            const auto *sf = static_cast<const mpv_event_start_file *>(ev->data);
            started = sf && sf->playlist_entry_id == m_entryId;
            break;
        }
        case MPV_EVENT_FILE_LOADED:
            if (started)
                m_loaded = true;
            break;
        default:
            handleEvent(*ev);
            break;
        }
    }
    if (m_loaded)
        mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &m_duration);
    emit changed();
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
    m_sample.eof = m_mpv && mpv_get_property(m_mpv, "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag;
    if (m_loaded && !m_failed) {
        double d = 0;
        if (mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &d) >= 0)
            m_duration = d;
        double pos = 0;
        mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos);
        m_sample.position = pos;
    }
    return m_sample;
}

bool MpvPlayer::eofReached()
{
    return sample().eof;
}

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
    if (m_failed || !m_loaded || eofReached())
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
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char *cmd[] = {"seek", target.constData(), "absolute+exact", nullptr};
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
    if (!m_loaded || m_failed || eofReached())
        return Stopped;
    return m_paused ? (m_stopped ? Stopped : Paused) : Playing;
}

void MpvPlayer::Play()
{
    if (!m_loaded || m_failed)
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

QSize MpvPlayer::extent()
{
    int64_t w = 0, h = 0;
    if (!m_mpv || mpv_get_property(m_mpv, "dwidth", MPV_FORMAT_INT64, &w) < 0
        || mpv_get_property(m_mpv, "dheight", MPV_FORMAT_INT64, &h) < 0)
        return {};
    return QSize(int(w), int(h));
}
