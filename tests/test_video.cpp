// The program with the real players: the volume on the player that has the file, the
// preview length, replay modes, the completed list, and the video window handing a
// generated film to and fro.

#include "app/session.h"
#include "playback/film.h"
#include "playback/playback.h"
#include "playback/player_strip.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/listbox.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <mpv/client.h>
#include <vector>

using testkit::waitFor;

namespace {

QString mpvProperty(Player &p, const char *name)
{
    char *v = mpv_get_property_string(qobject_cast<MpvPlayer *>(&p)->handle(), name);
    const QString text = QString::fromUtf8(v);
    mpv_free(v);
    return text;
}

bool onlyChecked(Form1 &f, QAction *item)
{
    int checked = 0;
    for (QAction *a : {f.mnuvideoshow, f.mnuvideohide, f.mnuvideoauto})
        checked += a->isChecked();
    return checked == 1 && item->isChecked();
}

} // namespace

class TestVideo : public QObject {
    Q_OBJECT

    QTemporaryDir media;
    QString mkv, avi;

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        mkv = testkit::makeMedia(media.path(), "film.mkv", "mkv", 5);
        avi = testkit::makeMedia(media.path(), "clip.avi", "avi", 5);
    }

    void volumeReachesThePlayerThatHasTheFile()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        app.playback().setHScroll1(-600);
        QCOMPARE(app.mainPlayer().Volume(), -600);
        QCOMPARE(app.videoPlayer().Volume(), 0);
        app.playback().mnuvideoshow_Click();
        app.playback().setHScroll1(-25);
        QCOMPARE(app.videoPlayer().Volume(), -25);

        // The thumb dragged: the volume follows while the button is still down.
        f.HScroll1->setSliderDown(true);
        f.HScroll1->setSliderPosition(-1200);
        QCOMPARE(app.mainPlayer().Volume(), -1200);
        f.HScroll1->setSliderDown(false);
        // Keys: Right, Up and Page Up raise it, Left, Down and Page Down lower it.
        const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Right, 25}, {Qt::Key_Up, 25},    {Qt::Key_PageUp, 400},
                                                {Qt::Key_Left, -25}, {Qt::Key_Down, -25}, {Qt::Key_PageDown, -400}};
        for (const auto &[key, step] : keys) {
            const int before = f.HScroll1->value();
            QTest::keyClick(f.HScroll1, key);
            QCOMPARE(app.mainPlayer().Volume(), before + step);
        }
    }

    void previewLengthAnswers()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        // A user whose numbers are written with a comma gets the same reading.
        QLocale::setDefault(QLocale(QLocale::German));
        const std::pair<QStringList, int16_t> cases[] = {
            {{"1", "61", "2"}, 2}, {{"7.5"}, 8}, {{"2.5"}, 2}, {{" +12 "}, 12}, {{"-3", "1.99", "60.01", "60"}, 60},
        };
        for (const auto &[answers, stored] : cases) {
            fx.dialogs.prompts.clear();
            fx.dialogs.inputs.assign(answers.begin(), answers.end());
            app.playback().mnumoreduration_Click();
            QCOMPARE(app.m.previewSecs, stored);
            QCOMPARE(fx.dialogs.prompts.size(), size_t(answers.size()));
            QVERIFY(fx.dialogs.messages.empty());
        }

        // Cancel and empty text are not numbers: Yes asks again, No keeps the old length.
        fx.dialogs.prompts.clear();
        fx.dialogs.inputs = {std::nullopt, QString(), QString("3x")};
        fx.dialogs.answers = {dialogs::Answer::Yes, dialogs::Answer::Yes, dialogs::Answer::No};
        app.playback().mnumoreduration_Click();
        QCOMPARE(app.m.previewSecs, int16_t(60));
        QCOMPARE(fx.dialogs.prompts.size(), size_t(3));
        QLocale::setDefault(QLocale::c());
    }

    void showMovesThePlayingFileAndCloseHandsItBack()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        Player &main = app.mainPlayer();
        Player &vid = app.videoPlayer();
        fx.fill({mkv, avi});

        // Hide plays the film as sound on the main player.
        app.playback().mnuvideohide_Click();
        fx.pick(mkv);
        QCOMPARE(main.FileName(), mkv);
        QVERIFY(waitFor([&] { return main.CurrentPosition() >= 1.6; }, 5000));
        // Sound alone never starts the video player's core.
        auto *video = qobject_cast<MpvPlayer *>(&vid);
        QVERIFY(video && !video->coreCreated());

        // Show: same file, same second, and the main player stops.
        app.playback().mnuvideoshow_Click();
        QVERIFY(onlyChecked(f, f.mnuvideoshow));
        QVERIFY(video->coreCreated());
        QCOMPARE(vid.FileName(), mkv);
        QVERIFY(!main.inUse());
        QCOMPARE(main.PlayState(), int(Player::Stopped));
        QVERIFY2(vid.CurrentPosition() >= 1.5 && vid.CurrentPosition() < 3.5,
                 qPrintable(QString::number(vid.CurrentPosition())));
        QVERIFY(app.existingForm2() && app.existingForm2()->isVisible());
        QCOMPARE(f.Text1[5]->text(), QStringLiteral("00:00:05"));

        // Ticker, strip and the saved position follow the video window's player.
        app.playback().Timer1_Timer();
        QVERIFY2(f.Text1[6]->text() >= QStringLiteral("00:00:01"), qPrintable(f.Text1[6]->text()));
        QTRY_VERIFY(f.MediaPlayer1->following());
        f.MediaPlayer1->pauseButton()->click();
        QCOMPARE(vid.PlayState(), int(Player::Paused));
        // Paused, the strip rests, yet still shows a seek.
        QTRY_VERIFY(!f.MediaPlayer1->following());
        vid.setCurrentPosition(3.4);
        QTRY_COMPARE(f.MediaPlayer1->seekSlider()->value(), 3);
        app.session().SaveState();
        QCOMPARE(fx.saved().readInt(4), int16_t(3));
        // Volume in mode Auto still reaches the window that plays.
        app.playback().mnuvideoauto_Click();
        app.playback().setHScroll1(-800);
        QCOMPARE(vid.Volume(), -800);

        // Closing the window: the main player goes on at the same, unrounded second.
        vid.setCurrentPosition(2.6);
        app.existingForm2()->close();
        QTRY_VERIFY(!app.existingForm2());
        QVERIFY(onlyChecked(f, f.mnuvideohide));
        QCOMPARE(app.m.videoMode, int16_t(-1));
        QVERIFY2(main.CurrentPosition() >= 2.55 && main.CurrentPosition() < 3.2,
                 qPrintable(QString::number(main.CurrentPosition())));
        QCOMPARE(main.PlayState(), int(Player::Playing));
        QCOMPARE(main.Volume(), -800);
        QCOMPARE(f.MediaPlayer1->player(), &main);
        QTRY_VERIFY(f.MediaPlayer1->following());
        QCOMPARE(vid.PlayState(), int(Player::Stopped));

        // Hide while the film plays, then Next: the next file plays alone, and the tray's Pause holds it.
        app.playback().mnuvideoshow_Click();
        app.playback().mnuvideohide_Click();
        app.m.replayMode = 2;
        f.Command3->click();
        QTRY_COMPARE(main.FileName(), avi);
        QVERIFY(vid.PlayState() == Player::Stopped && !app.existingForm2()->isVisible());
        f.mnusystemtraypause->trigger();
        QTRY_COMPARE(main.PlayState(), int(Player::Paused));
    }

    void filmWindowKeysAndFullscreen()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        Player &vid = app.videoPlayer();
        const QString film = testkit::makeMedia(fx.cwd.path(), "long.mkv", "mkv", 100);
        fx.fill({film});
        app.playback().mnuvideoshow_Click();
        fx.pick(film);
        Form2 &w = *app.existingForm2();
        f.setWindowTitle(QStringLiteral("Velloran - long.mkv"));
        QCOMPARE(w.windowTitle(), f.windowTitle());
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        const std::pair<Qt::Key, int> skips[] = {{Qt::Key_Up, 60}, {Qt::Key_Right, 10}, {Qt::Key_Left, -10}};
        for (const auto &[key, by] : skips) {
            const double from = vid.CurrentPosition();
            QTest::keyClick(&w, key);
            QVERIFY2(waitFor([&] { return std::abs(vid.CurrentPosition() - from - by) < 3; }, 3000),
                     qPrintable(QString::number(vid.CurrentPosition())));
        }
        QTest::keyClick(&w, Qt::Key_9);
        QCOMPARE(vid.Volume(), -400);
        QTest::keyClick(&w, Qt::Key_M);
        QTRY_COMPARE(mpvProperty(vid, "mute"), QStringLiteral("yes"));
        // The main window's own keys reach it here too.
        QTest::keyClick(&w, Qt::Key_BracketRight);
        QTRY_VERIFY(mpvProperty(vid, "speed").startsWith(QStringLiteral("1.05")));
        QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(f.mnuvideohide->isChecked());

        const QRect normal = w.geometry();
        QTest::keyClick(&w, Qt::Key_F);
        QTRY_COMPARE(w.geometry(), w.screen()->geometry());
        QTest::keyClick(&w, Qt::Key_Escape);
        QTRY_COMPARE(w.geometry(), normal);
        const double at = vid.CurrentPosition();
        QTest::mouseDClick(w.MediaPlayer1, Qt::LeftButton);
        QTRY_VERIFY(w.isFullScreen());
        QTRY_COMPARE_WITH_TIMEOUT(w.MediaPlayer1->cursor().shape(), Qt::BlankCursor, 5000);
        QVERIFY(vid.CurrentPosition() > at + 1);
        QCOMPARE(vid.PlayState(), int(Player::Playing));
        QVERIFY(!app.mainPlayer().inUse());
        w.close();
        QTRY_VERIFY(!app.existingForm2());
        QVERIFY(app.mainPlayer().inUse());
        QVERIFY(app.mainPlayer().CurrentPosition() > at + 1);
    }

    void trackChoiceKeptPerFile()
    {
        testkit::Fixture fx;
        const QString film = testkit::makeMedia(fx.cwd.path(), "two.mkv", "tracks", 30);
        testkit::writeFile(fx.cwd.file("two.srt"), "1\n00:00:00,000 --> 00:00:30,000\nWords\n");
        testkit::writeFile(fx.cwd.file("bad.srt"), QByteArray(3000, '\xff'));
        App *app = &fx.start();
        Form1 &f = app->form1();
        fx.fill({film});
        app->playback().mnuvideoshow_Click();
        fx.pick(film);
        const auto texts = [](QMenu *menu) {
            emit menu->aboutToShow();
            QStringList out;
            for (QAction *a : menu->actions())
                out << a->text() + (a->isChecked() ? "*" : "");
            return out;
        };
        QCOMPARE(texts(f.mnuvideoaudio), QStringList({"1: eng*", "2: ell — Two"}));
        // The subtitle file beside the film is loaded and shown.
        QCOMPARE(texts(f.mnuvideosubs).mid(0, 2), QStringList({"Όχι - Off", "1: two.srt*"}));
        f.mnuvideoaudio->actions()[1]->trigger();
        f.mnuvideosubs->actions()[0]->trigger();
        // A subtitle file that is not text: the film plays on with what it had.
        app->film().addSubtitle(fx.cwd.file("bad.srt"));
        QVERIFY(waitFor([&] { return app->videoPlayer().CurrentPosition() > 1; }, 5000));
        QCOMPARE(app->film().tracks().size(), size_t(3));

        app->shutdownSteps();
        const QString out = fx.cwd.file("out.pcm");
        fx.playerOptions = {{"ao", "pcm"},           {"ao-pcm-file", out.toUtf8()}, {"ao-pcm-waveheader", "no"},
                            {"audio-format", "s16"}, {"audio-channels", "mono"},    {"audio-samplerate", "44100"}};
        app = &fx.start();
        QTRY_COMPARE(app->videoPlayer().FileName(), film);
        QTRY_COMPARE(mpvProperty(app->videoPlayer(), "aid"), QStringLiteral("2"));
        QCOMPARE(mpvProperty(app->videoPlayer(), "sid"), QStringLiteral("no"));
        // What sounds is the chosen track: 880 Hz, not the first track's 440 Hz.
        QVERIFY(waitFor([&] { return QFileInfo(out).size() >= 2 * 44100 * 2; }, 10000));
        QFile pcm(out);
        std::vector<qint16> sound(66150); // native order, as mpv writes s16
        QVERIFY(pcm.open(QIODevice::ReadOnly)
                && pcm.read(reinterpret_cast<char *>(sound.data()), qint64(sound.size() * 2))
                    == qint64(sound.size() * 2));
        int crossings = 0;
        for (size_t i = 22051; i < sound.size(); ++i)
            crossings += (sound[i] < 0) != (sound[i - 1] < 0);
        QVERIFY2(crossings / 2 > 660, qPrintable(QString::number(crossings / 2)));
    }

    void showAgainReopensAndPreviewStartsAtAQuarter()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Player &vid = app.videoPlayer();
        fx.fill({avi, mkv});
        fx.pick(avi); // Auto: an .avi goes to the video window
        QCOMPARE(vid.FileName(), avi);
        QVERIFY(waitFor([&] { return vid.CurrentPosition() >= 1.5; }, 5000));

        // Show while it plays: opened again at the main player's position (stopped: 0).
        const quint64 opens = vid.openCount();
        app.playback().mnuvideoshow_Click();
        QCOMPARE(vid.openCount(), opens + 1);
        QVERIFY2(vid.CurrentPosition() < 1.0, qPrintable(QString::number(vid.CurrentPosition())));

        // A picked video starts at its beginning, even after a resume left a position.
        app.m.resumePos = 3;
        fx.pick(mkv);
        QCOMPARE(vid.FileName(), mkv);
        QVERIFY2(vid.CurrentPosition() < 1.0, qPrintable(QString::number(vid.CurrentPosition())));

        // Preview: a quarter of 5 s, rounded half to even, is 1.
        app.playback().mnumorepreview_Click();
        fx.pick(avi);
        QCOMPARE(app.m.previewStart, int16_t(1));
        QVERIFY2(vid.CurrentPosition() >= 0.9 && vid.CurrentPosition() < 2.0,
                 qPrintable(QString::number(vid.CurrentPosition())));

        // Auto takes the film over at once (while a start-up resume waits it does not: the
        // player suite's resumed file is opened once).
        const quint64 before = vid.openCount();
        app.playback().mnuvideoauto_Click();
        QCOMPARE(vid.openCount(), before + 1);
        QVERIFY(onlyChecked(app.form1(), app.form1().mnuvideoauto));
    }

    void savedPlaceIsThePlayingEntrys()
    {
        // A scripted main player: the film stands exactly at 0:20 without 20 s of waiting.
        testkit::Fixture fx(true);
        fx.scriptedDuration = 600;
        const QStringList rows{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"};
        fx.start();
        fx.fill(rows);
        fx.pick(rows[1]);
        fx.player->position = 20;
        // A single click on another row shows its tag; the file plays on.
        fx.app->playback().setList2Index(3);
        fx.app->shutdownSteps();
        QCOMPARE(fx.saved().readInt(3), int16_t(1));
        QCOMPARE(fx.saved().readInt(4), int16_t(20));
        QCOMPARE(*fx.saved().readString(5), rows[1]);
    }

    void replayAllGoesRoundAndOneRepeats()
    {
        testkit::Fixture fx;
        QStringList files{testkit::makeMedia(fx.cwd.path(), "a.wav", "wav", 0.5),
                          testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 0.5)};
        App &app = fx.start();
        fx.fill(files);
        app.playback().mnumorereplayn_Click(2);
        int opens = 0;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] { opens = int(app.mainPlayer().openCount()); });
        app.playback().Command3_Click();
        QVERIFY(waitFor([&] { return opens >= 5; }, 15000));
        QVERIFY(fx.dialogs.messages.empty());

        app.playback().mnumorereplayn_Click(1);
        const QString kept = app.mainPlayer().FileName();
        const int from = opens;
        QVERIFY(waitFor([&] { return opens >= from + 3; }, 15000));
        QCOMPARE(app.mainPlayer().FileName(), kept);

        // Replay None: the run ends once every file has been played.
        app.playback().mnumorereplayn_Click(0);
        QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 10000));
        QCOMPARE(fx.dialogs.messages[0].text,
                 QStringLiteral("Αναπαράχθηκαν Όλα Τα αρχεία\r\nEvery file has been reproduced"));
    }

    void completedListAndMarks()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        QStringList names;
        for (int i = 0; i < 25; ++i)
            names << QStringLiteral("/m/s%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
        names << "/m/odd =>12.mp3";
        fx.fill(names);
        QCOMPARE(app.playback().FindSong(1), QStringLiteral("s00.mp3 =>1")); // never =>11 or =>21
        QCOMPARE(app.playback().FindSong(12), QStringLiteral("s11.mp3 =>12"));
        // Entry 0 is "/m/odd =>12.mp3": its row ends with =>0, not =>12.
        QCOMPARE(app.playback().FindSong(0), QStringLiteral("odd =>12.mp3 =>0"));

        // Reset keeps the playing entry's mark only.
        app.m.lastIndex = 3;
        app.playback().mnumorereset_Click();
        for (size_t i = 0; i < app.m.playedMarks.size(); ++i)
            QCOMPARE(app.m.playedMarks[i], int16_t(i == 3 ? -1 : 0));
    }
};

QTEST_MAIN(TestVideo)
#include "test_video.moc"
