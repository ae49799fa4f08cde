// Places of unfinished files: a minute of playback of a long file as the program's own
// rhythm writes it (the recovery timer's interval), with 32 767 entries listed and 2 000
// places kept, measured as bytes handed to write(2) by the process. The bound is 64 KiB
// for the minute, the recovery copy's own writes included.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "state/places.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication qapp(argc, argv);
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    testkit::ScriptedMain scripted;
    App app(scripted.options());
    app.Form_Load();
    app.form1().Timer1->stop();
    QStringList rows;
    for (int i = 0; i < 32767; ++i)
        rows.push_back(QStringLiteral("/home/someone/Books/Author %1/Book %2/Part %3.mp3")
                           .arg(i / 300)
                           .arg(i / 12)
                           .arg(i % 12 + 1, 2, 10, QLatin1Char('0')));
    for (int i = 0; i < 2000; ++i)
        app.places().keep(rows[size_t(i * 16)], 100.5 + i);
    const QString playing = rows[12345];
    app.form1().List2->setItems(std::move(rows));
    app.playback().resetMarksToPlaylist();
    app.session().writeRecovery();

    testkit::ScriptedPlayer &player = *scripted.player;
    player.setFileName(playing);
    player.duration = 12 * 3600;
    player.position = 5000;
    player.Play();

    constexpr int kWritesPerMinute = 60000 / Session::kRecoveryIntervalMs;
    for (int minute = 1; minute <= 3; ++minute) {
        const int rowsBefore = app.places().rowsWritten();
        const qint64 bytes = testkit::bytesWrittenSoFar();
        for (int w = 0; w < kWritesPerMinute; ++w) {
            player.position += Session::kRecoveryIntervalMs / 1000.0;
            app.session().writeRecovery();
        }
        const qint64 written = testkit::bytesWrittenSoFar() - bytes;
        std::printf("minute %d: %d place rows, %lld bytes written with the recovery copy (bound 65536: %s)\n", minute,
                    app.places().rowsWritten() - rowsBefore, written, written <= 65536 ? "ok" : "OVER");
    }
    player.Pause();
    const qint64 bytes = testkit::bytesWrittenSoFar();
    for (int w = 0; w < kWritesPerMinute; ++w)
        app.session().writeRecovery();
    std::printf("paused minute: %lld bytes written\n", testkit::bytesWrittenSoFar() - bytes);
    return 0;
}
