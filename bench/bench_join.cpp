// B11, the joins between files: three parts of one recording played in a row, ours (each
// next part made ready ahead and joined) against mpv with gapless audio, each into a sound
// server's null sink whose monitor is recorded, as a desktop plays it: a pull output at the
// pace of the sink. (A FIFO behind mpv's pcm output blocks mpv's core on every write, and
// every call into it with it: a stall no real output has.) Every sample tells the moment of
// the recording it came from (a sine on the left, its cosine on the right, a quarter turn a
// second), so each join reads as the milliseconds never heard and the milliseconds of silence
// put in.

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
#include <cmath>
#include <cstdio>
#include <optional>

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

// A null sink of the user's sound server, or of a server of our own when none answers.
class Sink {
public:
    static constexpr const char *kName = "velloran_join";

    explicit Sink(const QString &dir)
    {
        if (!run("pactl", {"info"})) {
            qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
            m_server.start("pulseaudio",
                           {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                            "--load=module-native-protocol-unix"});
            for (int i = 0; i < 100 && !run("pactl", {"info"}); ++i)
                QThread::msleep(50);
        }
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

// Records what the sink plays, from its start to stop().
class Recorder {
public:
    explicit Recorder(const QString &file)
        : m_file(file)
    {
        m_rec.setStandardOutputFile(file);
        m_rec.start("parec",
                    {"-d", QStringLiteral("%1.monitor").arg(Sink::kName), "--raw", "--format=s16le", "--rate=44100",
                     "--channels=2", "--latency-msec=20"});
        m_rec.waitForStarted();
        QThread::msleep(300); // connected before the first sound
    }
    QByteArray stop()
    {
        QThread::msleep(300); // the last sound reaches the monitor
        m_rec.terminate();
        m_rec.waitForFinished(3000);
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QString m_file;
    QProcess m_rec;
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

Join ours(const QStringList &parts, const QString &recording)
{
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    Recorder rec(recording);
    {
        App app(App::Options{{{"vo", "null"}, {"ao", "pulse"}, {"audio-device", kDevice}}, {}});
        app.Form_Load();
        app.form1().List2->setItems(std::vector<QString>(parts.begin(), parts.end()));
        app.playback().resetMarksToPlaylist();
        app.form1().List2->setListIndex(0);
        app.playback().List2_Click();
        app.playback().List2_DblClick();
        testkit::waitFor([&] { return !dialogs.messages.empty(); }, 20000); // every part played
        testkit::waitFor([] { return false; }, 300);                        // the sink plays the rest
    }
    return worstJoin(rec.stop());
}

std::optional<Join> peer(const QStringList &parts, const QString &recording)
{
    Recorder rec(recording);
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"),
              QStringList{"--no-config", "--gapless-audio=yes", "--vo=null", "--ao=pulse",
                          "--audio-device=" + QString::fromLatin1(kDevice)}
                  + parts);
    if (!mpv.waitForFinished(30000) || mpv.exitCode() != 0)
        return std::nullopt;
    return worstJoin(rec.stop());
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
    const Join us = ours(parts, dir.filePath("ours.raw"));
    const std::optional<Join> them = peer(parts, dir.filePath("peer.raw"));
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
    return 0;
}
