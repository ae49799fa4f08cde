// The cost of one 60 ms tick while a file plays, with a playlist of 10 entries and of
// 32 767: a tick on which the entry does not change must cost the same for both.

#include "app/app.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

double microsPerTick(const QString &media, int entries)
{
    testkit::DialogRecorder dialogs;
    App app({testkit::headless()});
    app.Form_Load();
    app.form1().Timer1->stop(); // the bench calls the ticker itself
    QStringList rows{media};
    for (int i = 1; i < entries; ++i)
        rows.push_back(QStringLiteral("/elsewhere/%1.mp3").arg(i));
    app.form1().List2->setItems(std::move(rows));
    app.playback().resetMarksToPlaylist();
    app.playback().put_form4();
    app.playback().setList2Index(app.form1().List2->findExact(media));
    app.playback().List2_DblClick();
    testkit::waitFor([&] { return app.mainPlayer().PlayState() == Player::Playing; }, 5000);
    app.playback().Timer1_Timer(); // the first tick after a start does the one-off work

    // Ticks apart as in a run, so that each one asks the player afresh.
    constexpr int kTicks = 300;
    qint64 ns = 0;
    for (int i = 0; i < kTicks; ++i) {
        QThread::msleep(12);
        QElapsedTimer t;
        t.start();
        app.playback().Timer1_Timer();
        ns += t.nsecsElapsed();
    }
    return double(ns) / 1e3 / kTicks;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    testkit::ScratchCwd cwd;
    const QString media = testkit::makeMedia(cwd.path(), "long.mp3", "mp3", 60);
    if (media.isEmpty()) {
        std::fprintf(stderr, "ffmpeg could not make the test file\n");
        return 1;
    }
    const double small = microsPerTick(media, 10);
    const double large = microsPerTick(media, 32767);
    std::printf("tick while playing: %.1f us with 10 entries, %.1f us with 32767 entries\n", small, large);
    std::printf("share of a core at one tick per 60 ms: %.3f %% (10), %.3f %% (32767)\n", small / 600.0, large / 600.0);
    return 0;
}
