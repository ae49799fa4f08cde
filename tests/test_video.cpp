// The video window, the volume and the preview length: the decisions alone, then the
// real libmpv players handing a generated film to and fro.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playback/player_strip.h"
#include "playback/track_logic.h"
#include "playback/video_logic.h"
#include "playlist/playlist.h"
#include "playlist/playlist_logic.h"
#include "playlist/wildcard.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QTimer>

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QtEndian>
#include <clocale>
#include <cmath>

using testkit::waitFor;

namespace {

// RMS of the 16-bit samples in a WAV file's data chunk, the first and last tenth left out.
double wavRms(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray b = f.readAll();
    int at = 12;
    while (at + 8 <= b.size()) {
        const quint32 len = qFromLittleEndian<quint32>(b.constData() + at + 4);
        if (b.mid(at, 4) == "data") {
            const qsizetype n = std::min<qsizetype>(len, b.size() - at - 8) / 2;
            const auto *s = reinterpret_cast<const qint16 *>(b.constData() + at + 8);
            double sum = 0;
            qsizetype count = 0;
            for (qsizetype i = n / 10; i < n - n / 10; ++i, ++count)
                sum += double(s[i]) * s[i];
            return count ? std::sqrt(sum / count) : -1;
        }
        at += 8 + int(len);
    }
    return -1;
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
    QString mkv, avi, wav;

    static void fillPlaylist(App &app, const QStringList &files)
    {
        app.form1().List2->setItems(std::vector<QString>(files.begin(), files.end()));
        app.playback().resetMarksToPlaylist();
        app.playback().put_form4();
    }

    // Double-clicks the playlist row of `file` (the list keeps its rows sorted).
    static void pick(App &app, const QString &file)
    {
        const int row = app.form1().List2->findExact(file);
        QVERIFY(row >= 0);
        app.form1().List2->setListIndex(row);
        app.playback().List2_Click();
        app.playback().List2_DblClick();
    }

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        mkv = testkit::makeMedia(media.path(), "film.mkv", "mkv", 5);
        avi = testkit::makeMedia(media.path(), "clip.avi", "avi", 5);
        wav = testkit::makeMedia(media.path(), "tone.wav", "wav", 2);
        QVERIFY(!mkv.isEmpty() && !avi.isEmpty() && !wav.isEmpty());
    }

    void volumeReachesThePlayerThatHasTheFile()
    {
        using videologic::volumeReachesVideo;
        QVERIFY(volumeReachesVideo(1, true)); // Show
        QVERIFY(volumeReachesVideo(1, false));
        QVERIFY(!volumeReachesVideo(0, true)); // Auto with the file on the main player
        QVERIFY(volumeReachesVideo(0, false)); // Auto with the file in the video window
        QVERIFY(!volumeReachesVideo(-1, true));
        QVERIFY(volumeReachesVideo(-1, false)); // Hide chosen while the window still plays

        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        app.playback().setHScroll1(-600);
        QCOMPARE(app.m.volume, int16_t(-600));
        QCOMPARE(app.mainPlayer().Volume(), -600);
        QCOMPARE(app.videoPlayer().Volume(), 0);
        app.mainPlayer().setInUse(false);
        app.playback().setHScroll1(-1000);
        QCOMPARE(app.videoPlayer().Volume(), -1000);
        app.mainPlayer().setInUse(true);
        app.playback().mnuvideoshow_Click();
        app.playback().setHScroll1(-25);
        QCOMPARE(app.videoPlayer().Volume(), -25);

        // The thumb dragged: the volume follows while the button is still down.
        QCOMPARE(f.HScroll1->singleStep(), 25);
        QCOMPARE(f.HScroll1->pageStep(), 400);
        f.HScroll1->setSliderDown(true);
        f.HScroll1->setSliderPosition(-1200);
        QCOMPARE(app.m.volume, int16_t(-1200));
        QCOMPARE(app.mainPlayer().Volume(), -1200);
        f.HScroll1->setSliderDown(false);
        // Steps by key change it too.
        f.HScroll1->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(app.mainPlayer().Volume(), -1600);
    }

    void volumeIsHeardOnTheDecibelScale()
    {
        // The decoded output's level, written by mpv as 16-bit samples.
        QTemporaryDir out;
        auto levelAt = [&](int volume) {
            const QString pcm = out.filePath(QStringLiteral("out%1.wav").arg(-volume));
            {
                MpvPlayer p({{"vo", "null"}, {"ao", "pcm"}, {"ao-pcm-file", pcm.toUtf8()}, {"audio-format", "s16"}});
                p.setFileName(wav);
                p.setVolume(volume);
                p.Play();
                waitFor([&] { return p.PlayState() == Player::Stopped; }, 10000);
            }
            return wavRms(pcm);
        };
        const double full = levelAt(0);
        QVERIFY(full > 1000);
        const double db6 = 20 * std::log10(levelAt(-600) / full);
        const double db20 = 20 * std::log10(levelAt(-2000) / full);
        QVERIFY2(std::abs(db6 + 6) < 0.3, qPrintable(QString::number(db6)));
        QVERIFY2(std::abs(db20 + 20) < 0.3, qPrintable(QString::number(db20)));
    }

    void previewLengthAnswers()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        // A user whose numbers are written with a comma gets the same reading.
        QLocale::setDefault(QLocale(QLocale::German));
        struct Case {
            QStringList answers;
            int16_t stored;
        };
        const Case cases[] = {
            {{"2"}, 2},
            {{"60"}, 60},
            {{"1", "61", "2.5"}, 2},
            {{"7.5"}, 8},
            {{"59.5"}, 60},
            {{" +12 "}, 12},
            {{"-3", "1.99", "60.01", "30"}, 30},
        };
        for (const Case &c : cases) {
            dialogs.prompts.clear();
            for (const QString &a : c.answers)
                dialogs.inputs.push_back(a);
            app.playback().mnumoreduration_Click();
            QCOMPARE(app.m.previewSecs, c.stored);
            QCOMPARE(dialogs.prompts.size(), size_t(c.answers.size()));
            QVERIFY(dialogs.messages.empty());
        }
        QCOMPARE(
            dialogs.prompts.back(),
            QStringLiteral("Όρισε διάρκεια προεπισκόπησης 2-60 δευτερόλεπτα: Declare duration of preview 2-60 secs"));

        // Cancel and empty text are not numbers: Yes asks again, No keeps the old length.
        dialogs.prompts.clear();
        dialogs.inputs = {std::nullopt, QString(), QString("3x")};
        dialogs.answers = {dialogs::Answer::Yes, dialogs::Answer::Yes, dialogs::Answer::No};
        app.playback().mnumoreduration_Click();
        QCOMPARE(app.m.previewSecs, int16_t(30));
        QCOMPARE(dialogs.prompts.size(), size_t(3));
        QCOMPARE(dialogs.messages.size(), size_t(3));
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("Άκυρη είσοδος. Επανάληψη; - Invalid input. Repeat"));
        QCOMPARE(dialogs.messages[0].style, dialogs::Style::YesNo);
        QLocale::setDefault(QLocale::c());

        // The switch: the check mark and the duration item go together, twice back to start.
        Form1 &f = app.form1();
        app.playback().mnumorepreview_Click();
        QVERIFY(app.m.previewOn == kOn && f.mnumorepreview->isChecked() && f.mnumoreduration->isEnabled());
        app.playback().mnumorepreview_Click();
        QVERIFY(app.m.previewOn == 0 && !f.mnumorepreview->isChecked() && !f.mnumoreduration->isEnabled());
    }

    void windowFitsTheScreen()
    {
        using videologic::fitWindow;
        QCOMPARE(fitWindow({160, 120}, {1280, 800}), QSize(160, 120));
        QCOMPARE(fitWindow({1920, 1080}, {1280, 800}), QSize(1280, 720));
        QCOMPARE(fitWindow({600, 1600}, {1280, 800}), QSize(300, 800));
        QCOMPARE(fitWindow({1280, 800}, {1280, 800}), QSize(1280, 800));
        QVERIFY(!fitWindow({}, {1280, 800}).isValid());
        QVERIFY(!fitWindow({0, 0}, {1280, 800}).isValid());
        QCOMPARE(fitWindow({640, 480}, {}), QSize(640, 480));
    }

    void newerFilmsAreVideoAndListed()
    {
        for (const char *name : {"a.mp4", "a.m4v", "a.mkv", "a.webm", "a.mov", "a.ogv", "a.avi"})
            QVERIFY2(track::isVideoFile(QString("/f/") + name), name);
        for (const char *name : {"a.MKV", "a.Mp4", "a.ogg", "a.m4a", "a.mp3", "a.mkv.txt"})
            QVERIFY2(!track::isVideoFile(QString("/f/") + name), name);

        const QStringList types = Playlist::fileTypesTable();
        QCOMPARE(types.size(), 12);
        QCOMPARE(types[10], QStringLiteral("*.mp3"));
        QVERIFY(types[11].startsWith(QStringLiteral("Νεότερα - Newer media")));
        const wildcard::Pattern newer(types[11]);
        for (const char *name :
             {"a.mp4", "a.m4v", "a.mkv", "a.webm", "a.mov", "a.ogv", "a.m4a", "a.aac", "a.ogg", "a.opus", "a.flac"}) {
            QVERIFY2(newer.matches(name), name);
            QVERIFY2(plist::acceptsDrop(QString("/d/") + name, types), name);
        }
        QVERIFY(!newer.matches("a.mp3"));
        QVERIFY(!plist::acceptsDrop("/d/a.MKV", types));
    }

    void showMovesThePlayingFileAndCloseHandsItBack()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        Player &main = app.mainPlayer();
        Player &vid = app.videoPlayer();
        fillPlaylist(app, {mkv, avi});

        // Show with no file only sets the mode and the marks.
        app.m.currentFile.clear();
        const quint64 opens = vid.openCount();
        app.playback().mnuvideoshow_Click();
        QVERIFY(onlyChecked(f, f.mnuvideoshow));
        QCOMPARE(app.m.videoMode, int16_t(1));
        QCOMPARE(vid.openCount(), opens);
        QVERIFY(main.inUse() && !app.existingForm2());

        // Hide plays the film as sound on the main player.
        app.playback().mnuvideohide_Click();
        QVERIFY(onlyChecked(f, f.mnuvideohide));
        pick(app, mkv);
        QCOMPARE(main.FileName(), mkv);
        QVERIFY(waitFor([&] { return main.CurrentPosition() >= 1.6; }, 5000));
        // Sound alone never starts the video player's core.
        auto *video = qobject_cast<MpvPlayer *>(&vid);
        QVERIFY(video && !video->coreCreated());

        // Show: same file, same second, and the main player stops.
        app.playback().mnuvideoshow_Click();
        QVERIFY(video->coreCreated());
        QVERIFY(onlyChecked(f, f.mnuvideoshow));
        QCOMPARE(vid.FileName(), mkv);
        QVERIFY(!main.inUse());
        QCOMPARE(main.PlayState(), int(Player::Stopped));
        QVERIFY2(vid.CurrentPosition() >= 1.5 && vid.CurrentPosition() < 3.5,
                 qPrintable(QString::number(vid.CurrentPosition())));
        QVERIFY(app.existingForm2() && app.existingForm2()->isVisible());
        QCOMPARE(app.existingForm2()->windowTitle(), f.windowTitle());
        QCOMPARE(f.Text1[5]->text(), QStringLiteral("00:00:05"));
        QCOMPARE(app.existingForm2()->size(), QSize(160, 120));

        // Ticker, strip and the saved position follow the video window's player.
        QCOMPARE(&app.playback().watchedPlayer(), &vid);
        QCOMPARE(f.MediaPlayer1->player(), &vid);
        app.playback().Timer1_Timer();
        QVERIFY2(f.Text1[6]->text() >= QStringLiteral("00:00:01"), qPrintable(f.Text1[6]->text()));
        QTRY_VERIFY(f.MediaPlayer1->following());
        f.MediaPlayer1->pauseButton()->click();
        QCOMPARE(vid.PlayState(), int(Player::Paused));
        QCOMPARE(main.PlayState(), int(Player::Stopped));
        // Paused, the strip rests, yet still shows a seek.
        QTRY_VERIFY(!f.MediaPlayer1->following());
        vid.setCurrentPosition(3.4);
        QTRY_COMPARE(f.MediaPlayer1->seekSlider()->value(), 3);
        app.session().SaveState();
        {
            QFile file(cwd.file("velloran.txt"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(state::Records(file.readAll()).readInt(4), int16_t(3));
        }
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
        QVERIFY(main.inUse());
        QCOMPARE(main.FileName(), mkv);
        QVERIFY2(main.CurrentPosition() >= 2.55 && main.CurrentPosition() < 3.2,
                 qPrintable(QString::number(main.CurrentPosition())));
        QCOMPARE(main.PlayState(), int(Player::Playing));
        QCOMPARE(main.Volume(), -800);
        QCOMPARE(f.MediaPlayer1->player(), &main);
        QTRY_VERIFY(f.MediaPlayer1->following());
        QCOMPARE(vid.PlayState(), int(Player::Stopped));
    }

    void showAgainReopensAndPreviewStartsAtAQuarter()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Player &vid = app.videoPlayer();
        fillPlaylist(app, {avi, mkv});
        pick(app, avi); // Auto: an .avi goes to the video window
        QCOMPARE(vid.FileName(), avi);
        QVERIFY(!app.mainPlayer().inUse());
        QVERIFY(waitFor([&] { return vid.CurrentPosition() >= 1.5; }, 5000));

        // Show while it plays: opened again at the main player's position (stopped: 0).
        const quint64 opens = vid.openCount();
        app.playback().mnuvideoshow_Click();
        QCOMPARE(vid.openCount(), opens + 1);
        QVERIFY2(vid.CurrentPosition() < 1.0, qPrintable(QString::number(vid.CurrentPosition())));

        // A picked video starts at its beginning, even after a resume left a position.
        app.m.resumePos = 3;
        pick(app, mkv);
        QCOMPARE(vid.FileName(), mkv);
        QVERIFY2(vid.CurrentPosition() < 1.0, qPrintable(QString::number(vid.CurrentPosition())));

        // Preview: a quarter of 5 s, rounded half to even, is 1.
        app.playback().mnumorepreview_Click();
        pick(app, avi);
        QCOMPARE(app.m.previewStart, int16_t(1));
        QVERIFY2(vid.CurrentPosition() >= 0.9 && vid.CurrentPosition() < 2.0,
                 qPrintable(QString::number(vid.CurrentPosition())));

        // A picture larger than the screen: the window shrinks to it, aspect kept.
        const QString hd = testkit::makeMedia(cwd.path(), "hd.mkv", "hd", 1);
        QVERIFY(!hd.isEmpty());
        fillPlaylist(app, {hd});
        pick(app, hd);
        Form2 *w = app.existingForm2();
        QVERIFY(w);
        const QRect screen = w->screen()->availableGeometry();
        QVERIFY2(w->width() <= screen.width() && w->height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(w->width()).arg(w->height())));
        QVERIFY(std::abs(w->width() * 9 - w->height() * 16) <= 16);
        QVERIFY(screen.contains(w->geometry()));

        // Auto takes the film over at once, except while the start-up resume waits.
        const quint64 before = vid.openCount();
        app.m.resumePending = 1;
        app.playback().mnuvideoauto_Click();
        QCOMPARE(vid.openCount(), before);
        app.m.resumePending = 0;
        app.playback().mnuvideoauto_Click();
        QCOMPARE(vid.openCount(), before + 1);
        QVERIFY(onlyChecked(app.form1(), app.form1().mnuvideoauto));
    }

    void badFilesInTheVideoWindowAreSkipped()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        const QString junk = cwd.file("junk.mkv");
        {
            QFile j(junk);
            QVERIFY(j.open(QIODevice::WriteOnly));
            j.write(QByteArray(4096, '\x5a'));
        }
        // Sorted in this order: the two bad films, then a good file.
        const QString good = cwd.file("zz.wav");
        QVERIFY(QFile::copy(wav, good));
        fillPlaylist(app, {junk, cwd.file("missing.mkv"), good});
        pick(app, junk);
        QCOMPARE(app.videoPlayer().FileName(), junk);
        // The ticker sees each failed file at its end and goes on to the next.
        for (int i = 0; i < 20 && app.m.lastIndex != 2; ++i) {
            app.playback().Timer1_Timer();
            QTest::qWait(20);
        }
        QCOMPARE(app.m.lastIndex, int16_t(2));
        QCOMPARE(app.mainPlayer().FileName(), good);
        QCOMPARE(app.mainPlayer().PlayState(), int(Player::Playing));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(app.m.playedMarks[size_t(i)], kOn);
    }

    void savedPlaceIsThePlayingEntrys()
    {
        // A scripted main player: the film stands exactly at 0:20 without 20 s of waiting.
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QStringList rows{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"};
        auto start = [&](testkit::ScriptedPlayer *&player) {
            auto app = std::make_unique<App>(App::Options{{}, [&player] {
                                                              auto p = std::make_unique<testkit::ScriptedPlayer>();
                                                              p->duration = 600;
                                                              player = p.get();
                                                              return p;
                                                          }});
            app->Form_Load();
            app->form1().Timer1->stop();
            return app;
        };
        testkit::ScriptedPlayer *first = nullptr;
        {
            auto app = start(first);
            fillPlaylist(*app, rows);
            pick(*app, rows[1]);
            QCOMPARE(first->file, rows[1]);
            first->position = 20;
            // A single click on another row shows its tag; the file plays on.
            app->playback().setList2Index(3);
            QCOMPARE(app->m.currentFile, rows[3]);
            app->shutdownSteps();
            QFile file(cwd.file("velloran.txt"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const state::Records r(file.readAll());
            QCOMPARE(r.readInt(3), int16_t(1));
            QCOMPARE(r.readInt(4), int16_t(20));
            QCOMPARE(*r.readString(5), rows[1]);
        }
        testkit::ScriptedPlayer *second = nullptr;
        {
            auto app = start(second);
            QCOMPARE(second->file, rows[1]);
            QCOMPARE(second->position, 20.0);
            QCOMPARE(app->m.lastIndex, int16_t(1));

            // Nothing playing: the selected row is saved, as before.
            second->Stop();
            app->playback().setList2Index(2);
            app->shutdownSteps();
            QFile file(cwd.file("velloran.txt"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const state::Records r(file.readAll());
            QCOMPARE(r.readInt(3), int16_t(2));
            QCOMPARE(*r.readString(5), rows[2]);
        }
    }
};

QTEST_MAIN(TestVideo)
#include "test_video.moc"
