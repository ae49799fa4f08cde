// B11, the joins between files: three parts of one recording played in a row, ours (each
// next part made ready ahead and joined) against mpv with gapless audio, each through mpv's
// pcm output into a FIFO that a paced reader empties as a sound card would (44.1 kHz, a 93 ms
// buffer, silence when nothing came in time). Every sample tells the moment of the recording
// it came from (a sine on the left, its cosine on the right, a quarter turn a second), so each
// join reads as the milliseconds never heard and the milliseconds of silence put in.

#include "app/app.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// Reads 16-bit stereo from a FIFO at the pace of a sound card and records what it heard.
class Card {
public:
    explicit Card(const QString &fifo)
    {
        ::mkfifo(fifo.toLocal8Bit().constData(), 0600);
        m_fd = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
        ::fcntl(m_fd, F_SETPIPE_SZ, 16384);
        m_thread = std::thread([this] { run(); });
    }
    ~Card() { stop(); }
    QByteArray stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_heard;
    }

private:
    void run()
    {
        QElapsedTimer clock;
        clock.start();
        qint64 done = 0;
        while (!m_stop) {
            QThread::msleep(5);
            const qint64 due = clock.nsecsElapsed() * kRate / 1000000000 - done;
            // Whole frames only: a part of one waits for the rest, or the channels would swap.
            QByteArray chunk(due * 4, '\0');
            qsizetype got = m_partial.size();
            chunk.replace(0, got, m_partial);
            while (got < chunk.size()) {
                const ssize_t n = ::read(m_fd, chunk.data() + got, size_t(chunk.size() - got));
                if (n <= 0)
                    break;
                got += n;
            }
            m_partial = chunk.mid(got - got % 4, got % 4);
            got -= got % 4;
            m_heard += chunk.left(got);
            m_heard += QByteArray(chunk.size() - got, '\0');
            done += due;
        }
    }
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    QByteArray m_heard;
    QByteArray m_partial;
};

struct Join {
    double missingMs = 0, silentMs = 0;
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
    // What never came of the last part counts as missing too.
    worst.missingMs = std::max(worst.missingMs, std::max(0.0, kParts * kSeconds - expected) * 1000);
    return worst;
}

MpvPlayer::Options pcmInto(const QString &fifo)
{
    return {{"vo", "null"},
            {"ao", "pcm"},
            {"ao-pcm-file", fifo.toLocal8Bit()},
            {"ao-pcm-waveheader", "no"},
            {"audio-format", "s16"}};
}

Join ours(const QStringList &parts, const QString &fifo)
{
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    Card card(fifo);
    {
        App app(App::Options{pcmInto(fifo), {}});
        app.Form_Load();
        app.form1().List2->setItems(std::vector<QString>(parts.begin(), parts.end()));
        app.playback().resetMarksToPlaylist();
        app.form1().List2->setListIndex(0);
        app.playback().List2_Click();
        app.playback().List2_DblClick();
        testkit::waitFor([&] { return !dialogs.messages.empty(); }, 20000); // every part played
        testkit::waitFor([] { return false; }, 300);                        // the card hears the rest
    }
    return worstJoin(card.stop());
}

std::optional<Join> peer(const QStringList &parts, const QString &fifo)
{
    Card card(fifo);
    QProcess mpv;
    QStringList args{"--no-config", "--gapless-audio=yes"};
    for (const auto &[name, value] : pcmInto(fifo))
        args << QStringLiteral("--%1=%2").arg(QString::fromLatin1(name), QString::fromLocal8Bit(value));
    mpv.start(QStringLiteral("mpv"), args + parts);
    if (!mpv.waitForFinished(30000) || mpv.exitCode() != 0)
        return std::nullopt;
    QThread::msleep(300);
    return worstJoin(card.stop());
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication qapp(argc, argv);
    ::signal(SIGPIPE, SIG_IGN); // a player still writing when the card has stopped
    QTemporaryDir dir;
    const QStringList parts = makeParts(dir.path());
    const Join us = ours(parts, dir.filePath("ours.fifo"));
    const std::optional<Join> them = peer(parts, dir.filePath("peer.fifo"));
    auto peerText = [&them](double Join::*field) {
        return them ? QByteArray::number((*them).*field, 'f', 1) : QByteArray("n/a");
    };
    std::printf("| # | figure | ours | mpv --gapless-audio=yes | target | met |\n|---|---|---:|---:|---:|---|\n");
    std::printf("| B11 | join: ms never heard (worst of %d) | %.1f | %s | 0 | %s |\n", kParts - 1, us.missingMs,
                peerText(&Join::missingMs).constData(), us.missingMs < 1 ? "yes" : "no");
    std::printf("| | join: ms of silence (worst of %d) | %.1f | %s | <= 5 | %s |\n", kParts - 1, us.silentMs,
                peerText(&Join::silentMs).constData(), us.silentMs <= 5 ? "yes" : "no");
    return 0;
}
