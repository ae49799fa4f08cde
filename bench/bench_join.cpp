// B11, the joins between files: three parts of one recording played in a row, ours (each
// next part made ready ahead and joined) against mpv with gapless audio, each into a sound
// server's null sink whose monitor is recorded, as a desktop plays it: a pull output at the
// pace of the sink. (A FIFO behind mpv's pcm output blocks mpv's core on every write, and
// every call into it with it: a stall no real output has.) Every sample tells the moment of
// the recording it came from (a sine on the left, its cosine on the right, a quarter turn a
// second), so each join reads as the milliseconds never heard and the milliseconds of silence
// put in.
// B12, Next: a quiet file plays, Next is pressed, and the time from the press to the first
// sound of the loud file after it, ours against mpv's playlist-next (through its IPC socket).
// The recording's samples are put on the clock by when they arrive.

#include "app/app.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kRate = 44100;
constexpr int kParts = 3;
constexpr double kSeconds = 1.0;
constexpr double kTurnsPerSecond = 0.25;

QStringList makeParts(const QString &dir)
{
    const QString wave = QStringLiteral("aevalsrc=0.5*sin(2*PI*%1*t)|0.5*cos(2*PI*%1*t):s=%2:d=%3")
                             .arg(kTurnsPerSecond)
                             .arg(kRate)
                             .arg(kParts * kSeconds);
    QStringList out;
    for (int i = 0; i < kParts; ++i) {
        const auto from = qint64(i * kSeconds * kRate), to = qint64((i + 1) * kSeconds * kRate);
        out << QDir(dir).filePath(QStringLiteral("part%1.wav").arg(i + 1));
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-loglevel", "error", "-y", "-f", "lavfi", "-i", wave, "-af",
                 QStringLiteral("atrim=start_sample=%1:end_sample=%2").arg(from).arg(to), "-c:a", "pcm_s16le",
                 out.last()});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qFatal("ffmpeg could not make %s", qPrintable(out.last()));
    }
    return out;
}

bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput().trimmed();
    return true;
}

// A null sink of a sound server of our own. Never the user's: a server that a client
// started on demand ends itself after 20 idle seconds, and one did, in the middle of a run.
class Sink {
public:
    static constexpr const char *kName = "velloran_join";

    explicit Sink(const QString &dir)
    {
        QFile conf(dir + QStringLiteral("/client.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write("autospawn = no\n");
        qputenv("PULSE_CLIENTCONFIG", conf.fileName().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
        m_server.start(
            "pulseaudio",
            {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "--load=module-native-protocol-unix"});
        for (int i = 0; i < 100 && !run("pactl", {"info"}); ++i)
            QThread::msleep(50);
        QByteArray module;
        if (run("pactl",
                {"load-module", "module-null-sink", QStringLiteral("sink_name=%1").arg(kName), "rate=44100",
                 "channels=2"},
                &module))
            m_module = QString::fromLatin1(module);
    }
    ~Sink()
    {
        if (!m_module.isEmpty())
            run("pactl", {"unload-module", m_module});
        m_server.terminate();
        m_server.waitForFinished(3000);
    }
    bool ok() const { return !m_module.isEmpty(); }

private:
    QProcess m_server;
    QString m_module;
};

using Clock = std::chrono::steady_clock;

// Records what the sink plays, from its start to stop(), and when each part of it came.
class Recorder {
public:
    Recorder()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        const QByteArray device = QByteArray(Sink::kName) + ".monitor";
        const char *argv[] = {"parec",        "-d",           device.constData(),  "--raw", "--format=s16le",
                              "--rate=44100", "--channels=2", "--latency-msec=10", nullptr};
        if (posix_spawnp(&m_pid, "parec", &fa, nullptr, const_cast<char **>(argv), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        m_fd = fds[0];
        m_thread = std::thread([this] { read(); });
        QThread::msleep(300); // connected before the first sound
    }
    ~Recorder() { stop(); }
    QByteArray stop()
    {
        if (m_pid > 0) {
            QThread::msleep(300); // the last sound reaches the monitor
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_heard;
    }
    // When a frame of the recording sounded: the part that came soonest after it was made
    // sets the clock.
    Clock::time_point timeOf(qsizetype frame) const
    {
        return m_start + std::chrono::nanoseconds(frame * 1000000000LL / kRate);
    }

private:
    void read()
    {
        char buf[4096];
        bool first = true;
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            m_heard.append(buf, n);
            const Clock::time_point start = now - std::chrono::nanoseconds(m_heard.size() / 4 * 1000000000LL / kRate);
            if (first || start < m_start)
                m_start = start;
            first = false;
        }
    }
    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    QByteArray m_heard;
    Clock::time_point m_start;
};

struct Join {
    double missingMs = 0, silentMs = 0;
    double endMs = 0; // of the last part, never heard: the end of the list, not a join
};

// The worst join: the recording's moments never heard, and the silence put in.
Join worstJoin(const QByteArray &pcm)
{
    std::vector<Join> joins(kParts - 1);
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype frames = pcm.size() / 4;
    double expected = -1;
    qsizetype silent = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        const double l = s[2 * i], r = s[2 * i + 1];
        if (std::abs(l) + std::abs(r) < 4000) {
            silent += expected >= 0 ? 1 : 0;
            continue;
        }
        double turn = std::atan2(l, r) / (2 * M_PI);
        turn += turn < 0 ? 1 : 0;
        const double at = turn / kTurnsPerSecond;
        if (expected >= 0 && (at - expected > 0.0005 || silent > 0)) {
            const int k = std::clamp(int(std::lround(expected / kSeconds)) - 1, 0, kParts - 2);
            joins[size_t(k)].missingMs += std::max(0.0, at - expected) * 1000;
            joins[size_t(k)].silentMs += 1000.0 * double(silent) / kRate;
        }
        silent = 0;
        expected = at + 1.0 / kRate;
    }
    Join worst;
    for (const Join &j : joins) {
        worst.missingMs = std::max(worst.missingMs, j.missingMs);
        worst.silentMs = std::max(worst.silentMs, j.silentMs);
    }
    worst.endMs = std::max(0.0, kParts * kSeconds - expected) * 1000;
    return worst;
}

const QByteArray kDevice = QByteArray("pulse/") + Sink::kName;

const App::Options kOurs{{{"vo", "null"}, {"ao", "pulse"}, {"audio-device", kDevice}}, {}};

void play(App &app, const QStringList &files)
{
    app.Form_Load();
    app.form1().List2->setItems(files);
    app.playback().resetMarksToPlaylist();
    app.form1().List2->setListIndex(0);
    app.playback().List2_Click();
    app.playback().List2_DblClick();
}

Join ours(const QStringList &parts)
{
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    Recorder rec;
    {
        App app(kOurs);
        play(app, parts);
        testkit::waitFor([&] { return !dialogs.messages.empty(); }, 20000); // every part played
        testkit::waitFor([] { return false; }, 300);                        // the sink plays the rest
    }
    return worstJoin(rec.stop());
}

std::optional<Join> peer(const QStringList &parts)
{
    Recorder rec;
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"),
              QStringList{"--no-config", "--gapless-audio=yes", "--vo=null", "--ao=pulse",
                          "--audio-device=" + QString::fromLatin1(kDevice)}
                  + parts);
    if (!mpv.waitForFinished(30000) || mpv.exitCode() != 0)
        return std::nullopt;
    return worstJoin(rec.stop());
}

constexpr int kNextRuns = 9;

// A quiet file, then a loud one: the first loud sound after Next is the next file's.
QStringList makeQuietThenLoud(const QString &dir)
{
    QStringList out;
    for (const char *level : {"0.05", "0.5"}) {
        out << QDir(dir).filePath(QStringLiteral("next%1.wav").arg(out.size()));
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                 QStringLiteral("aevalsrc=%1*sin(2*PI*440*t):s=44100:d=10").arg(level), "-ac", "2", "-c:a", "pcm_s16le",
                 out.last()});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qFatal("ffmpeg could not make %s", qPrintable(out.last()));
    }
    return out;
}

// Milliseconds from the press to the first loud frame, or -1 when none came.
double toFirstLoud(const Recorder &rec, const QByteArray &pcm, Clock::time_point pressed)
{
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    for (qsizetype i = 0; i < pcm.size() / 4; ++i)
        if (std::abs(s[2 * i]) > 8000 && rec.timeOf(i) > pressed)
            return std::chrono::duration<double, std::milli>(rec.timeOf(i) - pressed).count();
    return -1;
}

double oursNext(const QStringList &files)
{
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    Recorder rec;
    Clock::time_point pressed;
    {
        App app(kOurs);
        play(app, files);
        testkit::waitFor([] { return false; }, 2000);
        pressed = Clock::now();
        app.playback().Command3_Click();
        testkit::waitFor([] { return false; }, 1500);
    }
    return toFirstLoud(rec, rec.stop(), pressed);
}

double peerNext(const QStringList &files, const QString &socket)
{
    Recorder rec;
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"),
              QStringList{"--no-config", "--vo=null", "--ao=pulse", "--audio-device=" + QString::fromLatin1(kDevice),
                          "--input-ipc-server=" + socket}
                  + files);
    QThread::msleep(2000);
    const int ipc = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, socket.toLocal8Bit().constData(), sizeof addr.sun_path);
    if (::connect(ipc, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(ipc);
        return -1;
    }
    const Clock::time_point pressed = Clock::now();
    const char command[] = "{\"command\": [\"playlist-next\"]}\n";
    const bool sent = ::write(ipc, command, sizeof command - 1) == ssize_t(sizeof command - 1);
    ::close(ipc);
    if (!sent)
        return -1;
    QThread::msleep(1500);
    mpv.terminate();
    mpv.waitForFinished(5000);
    return toFirstLoud(rec, rec.stop(), pressed);
}

// The sink takes sound in blocks of about 10 ms, so one press reads as the true delay plus
// wherever in a block it fell: a single run or a median of a few flips between two values
// 10 ms apart. The mean over presses at random points of the block is steady. A run that
// heard nothing (-1) is left out; none heard: -1.
double mean(const std::vector<double> &v)
{
    double sum = 0;
    int n = 0;
    for (double x : v)
        if (x >= 0) {
            sum += x;
            ++n;
        }
    return n > 0 ? sum / n : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication qapp(argc, argv);
    QTemporaryDir dir;
    const Sink sink(dir.path());
    if (!sink.ok()) {
        std::printf("| B11 | join | n/a: no sound server (pulseaudio, pactl and parec are needed) | | | |\n");
        return 0;
    }
    const QStringList parts = makeParts(dir.path());
    const Join us = ours(parts);
    const std::optional<Join> them = peer(parts);
    auto peerText = [&them](double Join::*field) {
        return them ? QByteArray::number((*them).*field, 'f', 1) : QByteArray("n/a");
    };
    std::printf("| # | figure | ours | mpv --gapless-audio=yes | target | met |\n|---|---|---:|---:|---:|---|\n");
    std::printf("| B11 | join: ms never heard (worst of %d) | %.1f | %s | 0 | %s |\n", kParts - 1, us.missingMs,
                peerText(&Join::missingMs).constData(), us.missingMs < 1 ? "yes" : "no");
    std::printf("| | join: ms of silence (worst of %d) | %.1f | %s | <= 5 | %s |\n", kParts - 1, us.silentMs,
                peerText(&Join::silentMs).constData(), us.silentMs <= 5 ? "yes" : "no");
    std::printf("| | end of the list: ms of the last part never heard | %.1f | %s | | |\n", us.endMs,
                peerText(&Join::endMs).constData());

    const QStringList next = makeQuietThenLoud(dir.path());
    std::vector<double> oursMs, peerMs;
    for (int i = 0; i < kNextRuns; ++i) { // alternating, as the machine's load drifts
        oursMs.push_back(oursNext(next));
        peerMs.push_back(peerNext(next, dir.filePath("mpv.sock")));
    }
    const double o = mean(oursMs), p = mean(peerMs);
    std::printf("| B12 | Next pressed to the next file's first sound (ms, mean of %d) | %.1f | %.1f (playlist-next) "
                "| ratio <= 1.20 | %s (%.2f) |\n",
                kNextRuns, o, p, o > 0 && p > 0 && o <= 1.2 * p ? "yes" : "no", p > 0 ? o / p : 0.0);
    return 0;
}
