// Listening speed and the sleep timer: their pure decisions, the real libmpv at speed, keys
// and check marks, the speed kept across runs, and a sleep timer driven by a test clock.

#include "playback/playback.h"
#include "playback/sleep.h"
#include "playback/sleep_logic.h"
#include "playback/speed.h"
#include "playback/speed_logic.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/listbox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <cmath>
#include <mpv/client.h>

using testkit::waitFor;

namespace {

double mpvSpeed(Player &p)
{
    double s = 0;
    mpv_get_property(dynamic_cast<MpvPlayer &>(p).handle(), "speed", MPV_FORMAT_DOUBLE, &s);
    return s;
}

// Index of the one checked speed item, -1 for none, -2 when more than one is checked.
int checkedSpeed(Form1 &f)
{
    int at = -1;
    for (size_t i = 0; i < f.mnuspeedn.size(); ++i)
        if (f.mnuspeedn[i]->isChecked())
            at = at == -1 ? int(i) : -2;
    return at;
}

} // namespace

class TestSpeed : public QObject {
    Q_OBJECT

    QTemporaryDir media;
    QString song; // 30 s
    QString film; // 5 s

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        song = testkit::makeMedia(media.path(), "talk.mp3", "mp3", 30);
        film = testkit::makeMedia(media.path(), "film.mkv", "mkv", 5);
        QVERIFY(!song.isEmpty() && !film.isEmpty());
    }

    void mediaRunsFasterAtTheSamePitch()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        fx.fill({song});
        fx.pick(song);
        Player &p = app.mainPlayer();
        QVERIFY(waitFor([&] { return p.PlayState() == Player::Playing && p.CurrentPosition() > 0.2; }, 10000));
        int pitchKept = 0;
        mpv_get_property(dynamic_cast<MpvPlayer &>(p).handle(), "audio-pitch-correction", MPV_FORMAT_FLAG, &pitchKept);
        QVERIFY(pitchKept);

        f.mnuspeedn[3]->trigger(); // 1.5x
        QCOMPARE(app.m.playSpeed, 1.5);
        QCOMPARE(mpvSpeed(app.mainPlayer()), 1.5);
        QCOMPARE(mpvSpeed(app.videoPlayer()), 1.5);
        QVERIFY2(f.Label6->text().endsWith(QStringLiteral(" 1.5x")), qPrintable(f.Label6->text()));

        f.mnuspeedn[1]->trigger();
        QVERIFY2(!f.Label6->text().contains(QLatin1Char('x')), qPrintable(f.Label6->text()));
    }

    void keysAndCheckMarksAgree()
    {
        testkit::Fixture fx(true);
        App &app = fx.start();
        Form1 &f = app.form1();
        // No key is taken twice among the window's commands.
        QMap<QKeySequence, QString> taken;
        for (QAction *a : f.findChildren<QAction *>()) {
            if (a->shortcut().isEmpty())
                continue;
            QVERIFY2(!taken.contains(a->shortcut()), qPrintable(a->objectName() + " " + taken.value(a->shortcut())));
            taken.insert(a->shortcut(), a->objectName());
        }

        QApplication::setActiveWindow(&f);
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.List2->setFocus();
        QCOMPARE(checkedSpeed(f), 1);
        QTest::keyClick(f.List2, Qt::Key_BracketRight);
        QCOMPARE(app.m.playSpeed, 1.05);
        QCOMPARE(fx.player->speed, 1.05);
        QCOMPARE(checkedSpeed(f), -1);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(f.List2, Qt::Key_BracketRight);
        QCOMPARE(checkedSpeed(f), 2);
        QTest::keyClick(f.List2, Qt::Key_BracketLeft);
        QCOMPARE(app.m.playSpeed, 1.2);
        // A click on the checked item keeps it, the only one checked.
        f.mnuspeedn[4]->trigger();
        f.mnuspeedn[4]->trigger();
        QCOMPARE(checkedSpeed(f), 4);
        QCOMPARE(fx.player->speed, 1.75);
        QTest::keyClick(f.List2, Qt::Key_Backspace);
        QCOMPARE(app.m.playSpeed, 1.0);
        QCOMPARE(checkedSpeed(f), 1);

        // Text boxes keep their keys: typing and deleting there leaves the speed alone.
        f.mnuspeedn[3]->trigger();
        for (QLineEdit *box : {f.Text2, f.Text1[0]}) {
            box->setFocus();
            box->setText(QStringLiteral("abc"));
            box->setCursorPosition(3);
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_BracketLeft, Qt::NoModifier);
            QCOMPARE(box->text(), QStringLiteral("ab["));
            QCOMPARE(app.m.playSpeed, 1.5);
        }
    }

    void speedSurvivesARestartAndReachesTheVideoWindow()
    {
        testkit::Fixture fx;
        fx.start().form1().mnuspeedn[2]->trigger(); // 1.25x
        fx.app->shutdownSteps();
        {
            App &app = fx.start();
            Form1 &f = app.form1();
            QCOMPARE(app.m.playSpeed, 1.25);
            QCOMPARE(checkedSpeed(f), 2);
            QCOMPARE(mpvSpeed(app.mainPlayer()), 1.25);
            QVERIFY2(f.Label6->text().endsWith(QStringLiteral(" 1.25x")), qPrintable(f.Label6->text()));

            app.playback().mnuvideoshow_Click();
            fx.fill({film});
            fx.pick(film);
            Player &v = app.videoPlayer();
            QVERIFY(waitFor([&] { return v.FileName() == film && v.PlayState() == Player::Playing; }, 10000));
            QCOMPARE(&app.playback().watchedPlayer(), &v);
            QCOMPARE(mpvSpeed(v), 1.25);
            // The keys work in the film's window as well.
            Form2 &film = app.form2();
            QApplication::setActiveWindow(&film);
            QVERIFY(QTest::qWaitForWindowActive(&film));
            QTest::keyClick(&film, Qt::Key_BracketRight);
            QCOMPARE(mpvSpeed(v), 1.3);
            app.shutdownSteps();
        }
    }

    void sleepFadesPausesAndKeepsThePlace()
    {
        testkit::Fixture fx;
        double now = 5000;
        double place = 0;
        {
            App &app = fx.start();
            app.sleep().clock = [&now] { return now; };
            Form1 &f = app.form1();
            app.playback().setHScroll1(-600);
            fx.fill({song});
            fx.pick(song);
            Player &p = app.mainPlayer();
            QVERIFY(waitFor([&] { return p.PlayState() == Player::Playing && p.CurrentPosition() > 1; }, 10000));

            f.mnusleepn[2]->trigger(); // 15 minutes
            QVERIFY(f.mnusleepn[2]->isChecked() && !f.mnusleepn[0]->isChecked());
            app.sleep().tick();
            QVERIFY2(f.Label6->text().endsWith(QStringLiteral("Ύπνος - Sleep 15'")), qPrintable(f.Label6->text()));

            now += 15 * 60 - 5; // half way through the fade
            app.sleep().tick();
            QCOMPARE(p.Volume(), sleeptimer::fadedVolume(-600, 0.5));
            QCOMPARE(app.m.volume, int16_t(-600));
            QCOMPARE(f.HScroll1->value(), -600);
            QCOMPARE(p.PlayState(), int(Player::Playing));
            QVERIFY2(f.Label6->text().endsWith(QStringLiteral("Ύπνος - Sleep 1'")), qPrintable(f.Label6->text()));

            now += 5;
            QVERIFY(waitFor([&] { return p.PlayState() == Player::Paused; }, 2000));
            QCOMPARE(p.Volume(), -600);
            QVERIFY(f.mnusleepn[0]->isChecked() && !f.mnusleepn[2]->isChecked());
            QVERIFY2(!f.Label6->text().contains(QStringLiteral("Ύπνος")), qPrintable(f.Label6->text()));
            // Paused, not merely quiet: the position stands (the pause lands a frame late).
            place = p.CurrentPosition();
            QVERIFY(!waitFor([&] { return std::abs(p.CurrentPosition() - place) >= 0.1; }, 500));
            app.shutdownSteps();
        }
        QCOMPARE(fx.saved().readInt(6), int16_t(-600)); // the user's volume, not the faded one
        App &app = fx.start();
        QVERIFY(waitFor([&] { return app.mainPlayer().FileName() == song; }, 10000));
        QVERIFY2(std::abs(app.mainPlayer().CurrentPosition() - place) <= 1.0,
                 qPrintable(QString::number(app.mainPlayer().CurrentPosition())));
        QCOMPARE(app.mainPlayer().Volume(), -600);
    }

    void sleepAtTheEndOfTheFileAndOff()
    {
        testkit::Fixture fx(true);
        App &app = fx.start();
        double now = 0;
        app.sleep().clock = [&now] { return now; };
        Form1 &f = app.form1();
        app.playback().setHScroll1(-200);
        testkit::ScriptedPlayer &p = *fx.player;
        p.file = QStringLiteral("/m/book.mp3");
        p.duration = 600;
        p.position = 578;
        p.Play();
        app.speed().setSpeed(2.0);

        f.mnusleepn[1]->trigger();
        app.sleep().tick();
        QCOMPARE(p.volume, -200); // 10 s of the clock left: the fade is about to begin
        // A paused file waits at full volume.
        p.position = 595;
        p.Pause();
        app.sleep().tick();
        QCOMPARE(p.volume, -200);
        p.Play();
        app.sleep().tick(); // 2.5 s of the clock left less the margin
        QCOMPARE(p.volume, sleeptimer::fadedVolume(-200, 0.2));
        // Off in the middle of the fade gives the volume back and plays on.
        f.mnusleepn[0]->trigger();
        QCOMPARE(p.volume, -200);
        f.mnusleepn[1]->trigger();
        p.position = 599.2;
        app.sleep().tick();
        QCOMPARE(p.state, int(Player::Paused));
        QCOMPARE(p.position, 599.2); // before the end: the list does not move on
        QCOMPARE(p.volume, -200);
        QCOMPARE(app.sleep().choice(), int(sleeptimer::Off));
    }
};

QTEST_MAIN(TestSpeed)
#include "test_speed.moc"
