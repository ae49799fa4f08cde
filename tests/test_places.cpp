// Places of unfinished files: kept on leaving, used on every road that starts a file,
// forgotten at the end, on Reset and on Subtract; positions past the
// session file's 16-bit second resume exactly.

#include "app/session.h"
#include "app/shell.h"
#include "playback/lengths.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playback/player_strip.h"
#include "playback/transport.h"
#include "playlist/playlist.h"
#include "state/places.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <clocale>

using testkit::waitFor;

namespace {

// Silence at a low bit rate: long files made in a moment (FLAC keeps it to a few bytes a
// frame and seeks exactly).
QString silence(const QString &path, int seconds)
{
    QProcess p;
    p.start("ffmpeg",
            {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-b:a", "8k", "-t",
             QString::number(seconds), path});
    return p.waitForFinished(120000) && p.exitCode() == 0 ? path : QString();
}

// A 360 s book in three chapters of two minutes, as ffmpeg writes them from its metadata.
QString chaptered(const QString &dir)
{
    QString meta = QStringLiteral(";FFMETADATA1\n");
    const char *titles[] = {"Opening", "The Storm", "Coda"};
    for (int i = 0; i < 3; ++i)
        meta += QStringLiteral("[CHAPTER]\nTIMEBASE=1/1\nSTART=%1\nEND=%2\ntitle=%3\n")
                    .arg(i * 120)
                    .arg(i * 120 + 120)
                    .arg(titles[i]);
    testkit::writeFile(dir + "/meta.txt", meta.toUtf8());
    const QString path = dir + "/book.m4b";
    QProcess p;
    p.start("ffmpeg",
            {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-i", dir + "/meta.txt",
             "-map_metadata", "1", "-map_chapters", "1", "-t", "360", "-b:a", "8k", path});
    return p.waitForFinished(120000) && p.exitCode() == 0 ? path : QString();
}

} // namespace

class TestPlaces : public QObject {
    Q_OBJECT

    QTemporaryDir media;
    QString book, lecture, tone, nineHours, m4b;

    static double at(App &app) { return app.playback().watchedPlayer().CurrentPosition(); }
    // Started at about the second expected (seeks land within a frame; playing moves on).
    static bool startedAt(App &app, double expected)
    {
        const double pos = at(app);
        if (pos > expected - 0.5 && pos < expected + 3)
            return true;
        qWarning("started at %.3f, expected %.3f", pos, expected);
        return false;
    }

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        QVERIFY(QDir(media.path()).mkpath("a") && QDir(media.path()).mkpath("b"));
        book = silence(media.filePath("a/book.mp3"), 360);
        lecture = silence(media.filePath("b/lecture.mp3"), 360);
        tone = testkit::makeMedia(media.filePath("b"), "tone.wav", "wav", 30);
        nineHours = silence(media.filePath("nine.flac"), 34200);
        m4b = chaptered(media.path());
        QVERIFY(!book.isEmpty() && !lecture.isEmpty() && !nineHours.isEmpty() && !m4b.isEmpty());
    }

    void everyRoadResumesTheUnfinished()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        fx.fill({book, lecture, tone});
        Places &places = app.places();
        const auto row = [&](const QString &file) { return app.form1().List2->findExact(file); };
        // Plays file (from where it starts) up to the second given, then leaves it for the tone.
        const auto leave = [&](const QString &file, double at) {
            fx.pick(file);
            app.mainPlayer().setCurrentPosition(at);
            fx.pick(tone);
        };
        leave(book, 190);
        QVERIFY(places.placeOf(book) > 189.5 && places.placeOf(book) < 192);
        // The time left counts what is done of it.
        QCOMPARE(app.lengths().placeOf(book), places.placeOf(book));

        // Double click.
        fx.pick(book);
        QVERIFY(startedAt(app, 190));
        fx.pick(tone);

        // Next's choice (the tray's and MPRIS's Next take the same road).
        app.m.playedMarks.assign(3, kOn);
        app.m.playedMarks[size_t(row(book))] = 0;
        app.playback().Command3_Click();
        QCOMPARE(app.mainPlayer().FileName(), book);
        QVERIFY(startedAt(app, 190));

        // The completed window.
        app.mainPlayer().setCurrentPosition(250);
        fx.pick(tone);
        app.form4().List1->setListIndex(app.playback().completedRowFor(row(book)));
        app.playback().Form4_List1_DblClick();
        QCOMPARE(app.mainPlayer().FileName(), book);
        QVERIFY(startedAt(app, 250));

        // Reaching the end forgets: the next start is from the beginning.
        app.mainPlayer().setCurrentPosition(359);
        QVERIFY(waitFor([&] { return places.placeOf(book) == 0; }, 10000));
        fx.pick(book);
        QVERIFY(startedAt(app, 0));

        // Reset forgets every place.
        app.mainPlayer().setCurrentPosition(100);
        leave(lecture, 200);
        QVERIFY(places.placeOf(book) > 0 && places.placeOf(lecture) > 0);
        app.form1().mnumorereset->trigger();
        QCOMPARE(places.count(), 0);

        // Subtracting a folder forgets the places of its files only.
        leave(book, 100);
        leave(lecture, 200);
        app.form1().Option1[0]->setChecked(true);
        QVERIFY(app.playlist().setDirPath(media.filePath("a")));
        app.playlist().Command5_Click();
        QCOMPARE(places.placeOf(book), 0.0);
        const double kept = places.placeOf(lecture);
        QVERIFY(kept > 199.5);

        // The video window's start uses the place too.
        app.m.videoMode = 1;
        fx.pick(lecture);
        QVERIFY(&app.playback().watchedPlayer() == &app.videoPlayer());
        QVERIFY(startedAt(app, kept));
    }

    // Chapters listed and stepped, skips moving the place, Space, and the rewind after a long
    // pause and at a start-up resume, reported with its chapter.
    void skipsAndChaptersMoveThePlace()
    {
        testkit::Fixture fx;
        App *app = &fx.start();
        fx.fill({m4b, tone});
        fx.pick(m4b);
        Form1 &f = app->form1();
        Transport &tr = app->transport();
        const auto place = [&] { return app->places().placeOf(m4b); };
        const auto placedAt
            = [&](double expected) { return qAbs(place() - expected) < 1 && startedAt(*app, expected); };
        f.mnuchapters->aboutToShow();
        QCOMPARE(f.mnuchapters->actions().size(), 3);
        QVERIFY(f.mnuchapters->actions()[0]->isChecked());
        f.mnufwd10->trigger();
        f.mnuback60->trigger();
        QVERIFY(startedAt(*app, 0));
        f.MediaPlayer1->forwardButton()->click();
        QVERIFY(placedAt(30));
        f.mnuchapternext->trigger();
        f.mnuchapternext->trigger();
        f.mnuchapterprev->trigger();
        QVERIFY(placedAt(120));
        f.mnufwd60->trigger();
        f.mnuback10->trigger();
        QVERIFY(placedAt(170));
        QVERIFY(f.Label6->text().endsWith("Κεφάλαιο - Chapter 2/3: The Storm"));
        QVERIFY(app->shell().trayTip().contains(" — The Storm"));

        // Space pauses and plays; a play after more than a minute's pause goes back 3 s.
        f.mnurewindn[1]->trigger();
        qint64 now = 0;
        tr.clockMs = [&now] { return now; };
        f.mnuplaypause->trigger();
        QVERIFY(waitFor([&] { return app->mainPlayer().PlayState() == Player::Paused; }, 5000));
        QCoreApplication::processEvents();
        const double paused = at(*app);
        now = 61000;
        f.mnuplaypause->trigger();
        QVERIFY(waitFor([&] { return at(*app) < paused - 2; }, 5000));
        // A click on the position slider plays from the point clicked.
        QSlider *slider = f.MediaPlayer1->seekSlider();
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() * 3 / 4, slider->height() / 2));
        QVERIFY(
            waitFor([&] { return qAbs(at(*app) - slider->value()) < 3 && qAbs(slider->value() - paused) > 30; }, 5000));

        f.mnuplaypause->trigger();
        app->mainPlayer().setCurrentPosition(150);
        app->session().SaveState();
        app = &fx.start();
        QVERIFY(startedAt(*app, 147));
        QVERIFY(app->form1().mnurewindn[1]->isChecked());
        QVERIFY(app->form1().Label6->text().contains("Resuming: chapter 2 — The Storm"));
    }

    void pastNineHoursResumesExactly()
    {
        testkit::Fixture fx;
        App *app = &fx.start();
        fx.fill({nineHours, tone});
        fx.pick(nineHours);
        app->mainPlayer().Pause();
        app->mainPlayer().setCurrentPosition(33600);
        app->session().SaveState();
        QCOMPARE(fx.saved().readInt(4), int16_t(32767));
        app = &fx.start();
        QCOMPARE(app->mainPlayer().FileName(), nineHours);
        QVERIFY2(qAbs(at(*app) - 33600) <= 1, qPrintable(QString::number(at(*app))));
        // Below the limit the session file's second wins over the kept place.
        testkit::writeSession(fx.cwd.path(), {{tone, nineHours}, 1, 1000});
        QVERIFY(startedAt(fx.start(), 1000));
    }
};

QTEST_MAIN(TestPlaces)
#include "test_places.moc"
