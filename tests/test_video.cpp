// The program with the real players: start-up defaults, a folder played through, replay
// modes, the completed list, the volume, the preview length, and the video window handing a
// generated film to and fro.

#include "app/session.h"
#include "playback/playback.h"
#include "playback/player_strip.h"
#include "playlist/playlist.h"
#include "playlist/playlist_logic.h"
#include "playlist/wildcard.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
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
        testkit::Fixture fx;
        App &app = fx.start();
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
        testkit::Fixture fx;
        App &app = fx.start();
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
            fx.dialogs.prompts.clear();
            for (const QString &a : c.answers)
                fx.dialogs.inputs.push_back(a);
            app.playback().mnumoreduration_Click();
            QCOMPARE(app.m.previewSecs, c.stored);
            QCOMPARE(fx.dialogs.prompts.size(), size_t(c.answers.size()));
            QVERIFY(fx.dialogs.messages.empty());
        }
        QCOMPARE(
            fx.dialogs.prompts.back(),
            QStringLiteral("Όρισε διάρκεια προεπισκόπησης 2-60 δευτερόλεπτα: Declare duration of preview 2-60 secs"));

        // Cancel and empty text are not numbers: Yes asks again, No keeps the old length.
        fx.dialogs.prompts.clear();
        fx.dialogs.inputs = {std::nullopt, QString(), QString("3x")};
        fx.dialogs.answers = {dialogs::Answer::Yes, dialogs::Answer::Yes, dialogs::Answer::No};
        app.playback().mnumoreduration_Click();
        QCOMPARE(app.m.previewSecs, int16_t(30));
        QCOMPARE(fx.dialogs.prompts.size(), size_t(3));
        QCOMPARE(fx.dialogs.messages.size(), size_t(3));
        QCOMPARE(fx.dialogs.messages[0].text, QStringLiteral("Άκυρη είσοδος. Επανάληψη; - Invalid input. Repeat"));
        QCOMPARE(fx.dialogs.messages[0].style, dialogs::Style::YesNo);
        QLocale::setDefault(QLocale::c());

        // The switch: the check mark and the duration item go together, twice back to start.
        Form1 &f = app.form1();
        app.playback().mnumorepreview_Click();
        QVERIFY(app.m.previewOn == kOn && f.mnumorepreview->isChecked() && f.mnumoreduration->isEnabled());
        app.playback().mnumorepreview_Click();
        QVERIFY(app.m.previewOn == 0 && !f.mnumorepreview->isChecked() && !f.mnumoreduration->isEnabled());
    }

    void newerFilmsAreVideoAndListed()
    {
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
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        Player &main = app.mainPlayer();
        Player &vid = app.videoPlayer();
        fx.fill({mkv, avi});

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
        fx.pick(mkv);
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
        testkit::Fixture fx;
        App &app = fx.start();
        Player &vid = app.videoPlayer();
        fx.fill({avi, mkv});
        fx.pick(avi); // Auto: an .avi goes to the video window
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
        fx.pick(mkv);
        QCOMPARE(vid.FileName(), mkv);
        QVERIFY2(vid.CurrentPosition() < 1.0, qPrintable(QString::number(vid.CurrentPosition())));

        // Preview: a quarter of 5 s, rounded half to even, is 1.
        app.playback().mnumorepreview_Click();
        fx.pick(avi);
        QCOMPARE(app.m.previewStart, int16_t(1));
        QVERIFY2(vid.CurrentPosition() >= 0.9 && vid.CurrentPosition() < 2.0,
                 qPrintable(QString::number(vid.CurrentPosition())));

        // A picture larger than the screen: the window shrinks to it, aspect kept.
        const QString hd = testkit::makeMedia(fx.cwd.path(), "hd.mkv", "hd", 1);
        QVERIFY(!hd.isEmpty());
        fx.fill({hd});
        fx.pick(hd);
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
        testkit::Fixture fx;
        App &app = fx.start();
        const QString junk = fx.cwd.file("junk.mkv");
        {
            QFile j(junk);
            QVERIFY(j.open(QIODevice::WriteOnly));
            j.write(QByteArray(4096, '\x5a'));
        }
        // Sorted in this order: the two bad films, then a good file.
        const QString good = fx.cwd.file("zz.wav");
        QVERIFY(QFile::copy(wav, good));
        fx.fill({junk, fx.cwd.file("missing.mkv"), good});
        fx.pick(junk);
        QCOMPARE(app.videoPlayer().FileName(), junk);
        // The ticker sees each failed file at its end and goes on to the next.
        QVERIFY(waitFor(
            [&] {
                app.playback().Timer1_Timer();
                return app.m.lastIndex == 2;
            },
            2000));
        QCOMPARE(app.mainPlayer().FileName(), good);
        QCOMPARE(app.mainPlayer().PlayState(), int(Player::Playing));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(app.m.playedMarks[size_t(i)], kOn);
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
        QCOMPARE(fx.player->file, rows[1]);
        fx.player->position = 20;
        // A single click on another row shows its tag; the file plays on.
        fx.app->playback().setList2Index(3);
        QCOMPARE(fx.app->m.currentFile, rows[3]);
        fx.app->shutdownSteps();
        QCOMPARE(fx.saved().readInt(3), int16_t(1));
        QCOMPARE(fx.saved().readInt(4), int16_t(20));
        QCOMPARE(*fx.saved().readString(5), rows[1]);

        App &app = fx.start();
        QCOMPARE(fx.player->file, rows[1]);
        QCOMPARE(fx.player->position, 20.0);
        QCOMPARE(app.m.lastIndex, int16_t(1));
        // Nothing playing: the selected row is saved, as before.
        fx.player->Stop();
        app.playback().setList2Index(2);
        app.shutdownSteps();
        QCOMPARE(fx.saved().readInt(3), int16_t(2));
        QCOMPARE(*fx.saved().readString(5), rows[2]);
    }

    void startUpDefaults()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        QVERIFY(app.m.stateFolder.endsWith('/') && !app.m.stateFolder.endsWith("//"));
        QCOMPARE(app.m.previewSecs, int16_t(10));
        QCOMPARE(app.m.folderChanged, int16_t(-1));
        QCOMPARE(f.Combo2->count(), 12);
        QCOMPARE(f.Combo2->currentIndex(), 10);
        QCOMPARE(f.File1->pattern(), QStringLiteral("*.mp3"));
        QVERIFY(f.mnumoretags->isEnabled());
        QVERIFY(!f.mnumoreduration->isEnabled());
        QVERIFY(!f.Command4->isEnabled() && !f.List1->isEnabled() && f.Command5->isEnabled());
        QVERIFY(f.mnuvideoauto->isChecked());
        QCOMPARE(app.m.genres.size(), 39);
        QCOMPARE(f.Combo1->itemText(33), QStringLiteral("Λαϊκό"));
        QVERIFY(!f.menuBar()->actions().contains(f.mnusystemtray->menuAction()));
        QVERIFY(f.isVisible());

        // The filter: row 0 joins rows 1-10 and keeps the save command as it was.
        f.Combo2->setCurrentIndex(3);
        app.playlist().Combo2_Click();
        QVERIFY(!f.mnumoretags->isEnabled());
        f.Combo2->setCurrentIndex(0);
        app.playlist().Combo2_Click();
        QVERIFY(!f.mnumoretags->isEnabled());
        QVERIFY(f.File1->pattern().startsWith("*.basx;*.wax"));
        QVERIFY(f.File1->pattern().endsWith(";*.cda;*.mp3"));
        app.playlist().setCombo2Index(10);
        QVERIFY(f.mnumoretags->isEnabled());
        // A folder that does not exist is refused and changes nothing.
        const QString before = f.Dir1->path();
        QVERIFY(!app.playlist().setDirPath(fx.cwd.file("nope")));
        QCOMPARE(f.Dir1->path(), before);
        QVERIFY(!app.playlist().setDrive("/no/such/volume"));
    }

    void playsAFolderThroughInOrder()
    {
        testkit::Fixture fx;
        QStringList files;
        for (const char *n : {"a.wav", "b.wav", "c.wav"})
            files << testkit::makeMedia(fx.cwd.path(), n, "wav", 1);
        QVERIFY(!files.contains(QString()));
        App &app = fx.start();
        fx.fill(files);

        std::vector<QString> started;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] {
            const QString f = app.mainPlayer().FileName();
            if (started.empty() || started.back() != f)
                started.push_back(f);
        });
        app.playback().Command3_Click();
        QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 15000));
        QCOMPARE(started, std::vector<QString>(files.begin(), files.end()));
        // Replay None: the message once, nothing more started.
        QCOMPARE(fx.dialogs.messages.size(), size_t(1));
        QCOMPARE(fx.dialogs.messages[0].text,
                 QStringLiteral("Αναπαράχθηκαν Όλα Τα αρχεία\r\nEvery file has been reproduced"));
        QVERIFY(!waitFor([&] { return fx.dialogs.messages.size() > 1 || started.size() > 3; }, 500));
        QVERIFY(app.form1().windowTitle().startsWith("Μπραστομέρ - Brastomere "));
    }

    void replayAllGoesRoundAndOneRepeats()
    {
        testkit::Fixture fx;
        QStringList files{testkit::makeMedia(fx.cwd.path(), "a.wav", "wav", 0.5),
                          testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 0.5)};
        App &app = fx.start();
        fx.fill(files);
        app.playback().mnumorereplayn_Click(2);
        QVERIFY(!app.form1().mnumorereplayn[0]->isChecked());
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
        Form4 &w = app.form4();
        QCOMPARE(app.playback().completedList().count(), 26);
        QCOMPARE(app.playback().FindSong(1), QStringLiteral("s00.mp3 =>1")); // never =>11 or =>21
        QCOMPARE(app.playback().FindSong(12), QStringLiteral("s11.mp3 =>12"));
        QCOMPARE(app.playback().FindSong(99), QString());
        // Entry 0 is "/m/odd =>12.mp3": its row ends with =>0, not =>12.
        QCOMPARE(app.playback().FindSong(0), QStringLiteral("odd =>12.mp3 =>0"));

        app.m.playedMarks[2] = -1;
        app.m.playedMarks[12] = -1;
        app.playback().paigmena();
        int selected = 0;
        for (int r = 0; r < w.List1->count(); ++r)
            selected += w.List1->isSelected(r);
        QCOMPARE(selected, 2);

        // Reset keeps the playing entry's mark only.
        app.m.lastIndex = 3;
        app.playback().mnumorereset_Click();
        for (size_t i = 0; i < app.m.playedMarks.size(); ++i)
            QCOMPARE(app.m.playedMarks[i], int16_t(i == 3 ? -1 : 0));

        // A double click on the odd row picks entry 0 even though its name says 12.
        w.List1->setListIndex(w.List1->findExact("odd =>12.mp3 =>0"));
        QCOMPARE(app.playback().FindSongPick(), 0);
        app.playback().Form4_List1_DblClick();
        QCOMPARE(app.m.lastIndex, int16_t(0));
        QCOMPARE(app.m.currentFile, QStringLiteral("/m/odd =>12.mp3"));
    }
};

QTEST_MAIN(TestVideo)
#include "test_video.moc"
