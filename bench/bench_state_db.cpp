// The recovery copy's cost with a full playlist (32 767 entries): a minute of playback as
// the program's own timer would write it (every few seconds, the position moving, one mark
// and one entry change per minute), measured as bytes handed to write(2) by the process
// and CPU time of those writes against the minute.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "state/state_db.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication qapp(argc, argv);
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    testkit::ScriptedPlayer *player = nullptr;
    App app({{}, [&player] {
                 auto p = std::make_unique<testkit::ScriptedPlayer>();
                 player = p.get();
                 return std::unique_ptr<Player>(std::move(p));
             }});
    app.Form_Load();
    app.form1().Timer1->stop();
    QStringList rows;
    for (int i = 0; i < 32767; ++i)
        rows.push_back(QStringLiteral("/home/someone/Music/Artist %1/Album %2/%3 - a title of some length.mp3")
                           .arg(i / 300)
                           .arg(i / 12)
                           .arg(i % 12 + 1, 2, 10, QLatin1Char('0')));
    app.form1().List2->setItems(std::move(rows));
    app.playback().resetMarksToPlaylist();

    double cpu = cpuSeconds();
    qint64 bytes = testkit::bytesWrittenSoFar();
    app.session().writeRecovery();
    std::printf("first write (whole playlist): %.1f ms CPU, %lld bytes\n", (cpuSeconds() - cpu) * 1e3,
                testkit::bytesWrittenSoFar() - bytes);

    constexpr int kWritesPerMinute = 60000 / Session::kRecoveryIntervalMs;
    for (int minute = 0; minute < 3; ++minute) {
        cpu = cpuSeconds();
        bytes = testkit::bytesWrittenSoFar();
        for (int w = 0; w < kWritesPerMinute; ++w) {
            player->position += Session::kRecoveryIntervalMs / 1000.0;
            if (w == kWritesPerMinute / 2)
                app.m.playedMarks[size_t(minute + 1)] = kOn;
            app.session().writeRecovery();
        }
        const double used = cpuSeconds() - cpu;
        std::printf("minute %d: %d writes, %lld bytes written, %.1f ms CPU = %.3f %% of a core\n", minute + 1,
                    kWritesPerMinute, testkit::bytesWrittenSoFar() - bytes, used * 1e3, used / 60.0 * 100.0);
    }
    // Idle: nothing changed, nothing written.
    bytes = testkit::bytesWrittenSoFar();
    for (int w = 0; w < kWritesPerMinute; ++w)
        app.session().writeRecovery();
    std::printf("paused minute: %lld bytes written\n", testkit::bytesWrittenSoFar() - bytes);
    return 0;
}
