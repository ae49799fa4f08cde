// The libmpv player on real media, and files that are slow or strange to open: the window
// never waits on them. The same binary, started with --child, is the program that gets
// closed mid-open. Then faults on real files, the lengths behind the time left, listening
// speed and the sleep timer.

#include "app/session.h"
#include "app/shutdown_signals.h"
#include "base/fsdelay.h"
#include "base/fsname.h"
#include "playback/lengths.h"
#include "playback/mpv_player.h"
#include "playback/playback.h"
#include "playback/sleep.h"
#include "playback/speed.h"
#include "playlist/playlist.h"
#include "tags/id3v1.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mpv/client.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using testkit::SessionFile;
using testkit::waitFor;

namespace {

MpvPlayer &mpvMain(App &app) { return dynamic_cast<MpvPlayer &>(app.mainPlayer()); }

bool makeFifo(const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

double mpvDouble(Player &p, const char *property)
{
    double v = 0;
    mpv_get_property(dynamic_cast<MpvPlayer &>(p).handle(), property, MPV_FORMAT_DOUBLE, &v);
    return v;
}

// Index of the checked speed item, -1 for none.
int checkedSpeed(Form1 &f)
{
    const auto at = std::find(f.mnuspeedn.begin(), f.mnuspeedn.end(), f.mnuspeedn[0]->actionGroup()->checkedAction());
    return at == f.mnuspeedn.end() ? -1 : int(at - f.mnuspeedn.begin());
}

// Whether some process holds the FIFO open for reading.
bool fifoHasReader(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// The program closed in the middle of a held open: at start-up by a signal, or on Next by its
// window or the tray's Quit; or, playing, by the end of the desktop session ("quit").
// Prints "waiting" when the close may come.
int childMain(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    const QByteArray mode = argv[3];
    App app({testkit::headless(), {}});
    shutdown_signals::install([&app] { app.Form_QueryUnload(); });
    const auto announce = [] {
        std::printf("waiting\n");
        std::fflush(stdout);
    };
    if (mode == "signal" || mode == "fifo") {
        mpvMain(app).loadEventHoldMs = mode == "fifo" ? 0 : 5000;
        QTimer::singleShot(300, announce);
        app.Form_Load();
    } else if (mode == "quit") {
        app.Form_Load();
        QTimer::singleShot(300, [announce] {
            announce();
            QCoreApplication::quit();
        });
    } else {
        app.Form_Load();
        mpvMain(app).loadEventHoldMs = 5000;
        if (mode == "slow") // every probe and read of the next file hangs past the test's end
            fsdelay::set(fsname::encode(app.form1().List2->text(1)), 60000);
        QTimer::singleShot(0, [&app] { app.playback().Command3_Click(); });
        QTimer::singleShot(300, [&app, announce, mode] {
            announce();
            if (mode == "tray")
                app.form1().mnusystemtrayexit->trigger();
            else
                app.form1().close();
        });
    }
    QTimer::singleShot(8000, [] { std::_Exit(3); }); // the close was never served
    return QApplication::exec();
}

} // namespace

class TestPlayer : public QObject {
    Q_OBJECT
    QTemporaryDir media;
    QString a, b, longOne, wav, film;

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        a = testkit::makeMedia(media.path(), "a.mp3", "mp3", 2);
        b = testkit::makeMedia(media.path(), "b.mp3", "mp3", 2);
        longOne = testkit::makeMedia(media.path(), "long.mp3", "mp3", 6);
        wav = testkit::makeMedia(media.path(), "one.wav", "wav", 1);
        film = testkit::makeMedia(media.path(), "film.mkv", "mkv", 5);
    }

    void opensStopsAndEnds()
    {
        // Made on first use: no core until a file opens; the volume set before reaches it in dB.
        MpvPlayer p(testkit::headless(), nullptr, true);
        p.setVolume(-600);
        QVERIFY(qAbs(p.Duration()) < 1e-9 && p.extent().isEmpty() && !p.coreCreated());
        for (const QString &f : {a, wav, film}) {
            p.setFileName(f);
            QVERIFY2(p.Duration() > 0.8, qPrintable(f));
            QVERIFY(p.PlayState() != Player::Playing);
        }
        QCOMPARE(p.openCount(), 3u);
        QVERIFY(qAbs(mpvDouble(p, "volume") - 79.43) < 0.01);
        p.setFileName(a);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 0.3; }, 3000));
        p.Stop();
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QVERIFY(p.CurrentPosition() < 0.1);
        // The end reads as the length, and stays so.
        p.setFileName(wav);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() == p.Duration(); }, 5000));
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        // A file prepared to follow once this one has ended is not gone on to, paused.
        p.prepareNext(a);
        QVERIFY(!waitFor([&] { return p.CurrentPosition() != p.Duration(); }, 300));
    }

    void strangeFilesFailAtOnceAndAreNeverOpened()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.mp3");
        QVERIFY(makeFifo(fifo));
        const QString device = dir.filePath("device.mp3");
        QVERIFY(QFile::link("/dev/zero", device));
        MpvPlayer p(testkit::headless());
        for (const QString &path : {fifo, device}) {
            p.setFileName(path); // a hang here is the fault
            QVERIFY2(p.openFailed(), qPrintable(path));
            QCOMPARE(p.CurrentPosition(), p.Duration());
            QVERIFY(!fifoHasReader(fifo));
        }
        p.setFileName(a);
        QVERIFY(!p.openFailed() && p.Duration() > 1.5);
    }

    void fifoInThePlaylistIsPassedOver()
    {
        testkit::Fixture fx;
        const QString fifo = fx.cwd.file("1.mp3"), two = fx.cwd.file("2.mp3");
        QVERIFY(makeFifo(fifo) && QFile::copy(b, two)); // a copy: no place remembered from other tests
        // Resumed at start-up: the next entry plays within a second.
        App &app = fx.start(SessionFile{{fifo, two}, 0});
        QVERIFY(waitFor([&] { return app.m.lastIndex == 1 && app.mainPlayer().PlayState() == Player::Playing; }, 1000));
    }

    void addLeavesStrangeFilesOut()
    {
        testkit::Fixture fx;
        QVERIFY(QDir(fx.cwd.path()).mkpath("songs/deeper"));
        QVERIFY(QFile::copy(a, fx.cwd.file("songs/a.mp3")) && QFile::copy(b, fx.cwd.file("songs/deeper/b.mp3")));
        QVERIFY(makeFifo(fx.cwd.file("songs/fifo.mp3")) && makeFifo(fx.cwd.file("songs/deeper/fifo2.mp3")));
        QVERIFY(QFile::link("/dev/null", fx.cwd.file("songs/deeper/null.mp3")));
        testkit::touch(fx.cwd.file("songs/gone/c.mp3"));
        App &app = fx.start();
        Form1 &f = fx.form();
        QVERIFY(app.playlist().setDirPath(fx.cwd.file("songs")));
        f.Option1[1]->setChecked(true); // current folder and all found below it
        app.playlist().mnumoresub_Click();
        QVERIFY(waitFor([&] { return f.List1->count() >= 3; }, 3000));
        // A folder removed after it was listed is passed over.
        QVERIFY(QDir(fx.cwd.file("songs/gone")).removeRecursively());
        app.playlist().Command4_Click();
        QVERIFY(waitFor([&] { return f.List2->count() >= 2; }, 3000));
        QCOMPARE(testkit::rows(*f.List2), QStringList({fx.cwd.file("songs/a.mp3"), fx.cwd.file("songs/deeper/b.mp3")}));
    }

    void slowOpenKeepsTheWindowServed()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{a, b, longOne}});
        MpvPlayer &p = mpvMain(app);
        p.loadEventHoldMs = 5000;
        bool returned = false;
        const auto next = [&] {
            app.playback().Command3_Click();
            returned = true;
        };
        int served = 0; // ticks run while the file was still opening
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { served += p.opening(); });
        probe.start(50);
        QTimer::singleShot(0, next);
        QVERIFY(waitFor([&] { return returned; }, MpvPlayer::kOpenTimeoutMs + 2000));
        // The wait let the window paint and timers run, and the ticker signalled no end.
        QVERIFY2(served >= 60 && !p.opening(), qPrintable(QString::number(served)));
        // The caller went on with the loaded file, as the order of a start needs.
        QCOMPARE(p.FileName(), a);
        QCOMPARE(p.PlayState(), int(Player::Playing));

        // Next pressed while the next file still opens: the newer start opens at once.
        probe.stop();
        returned = false;
        QTimer::singleShot(0, next);
        QTimer::singleShot(300, [&] {
            p.loadEventHoldMs = 0;
            app.playback().Command3_Click();
        });
        QVERIFY(waitFor([&] { return returned; }, 3000));
        QCOMPARE(app.m.lastIndex, int16_t(2));
        // The held load event of the earlier file, when it came, changed nothing.
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 0.3; }, 3000));
        QVERIFY(p.CurrentPosition() < 1.0);
        QCOMPARE(p.FileName(), longOne);
        QCOMPARE(p.openCount(), 3u);
    }

    // Every probe and tag read of the next file hangs for 2 s: the window goes on ticking
    // while they run, and the tag fills in when its read returns.
    void slowDiskKeepsTheWindowServed()
    {
        testkit::Fixture fx;
        const QString slow = fx.cwd.file("slow.mp3");
        QVERIFY(QFile::copy(a, slow));
        QCOMPARE(id3v1::writeFile(slow, {"Slow", "", "", "", "", 0}), id3v1::Saved::Appended);
        App &app = fx.start(SessionFile{{a, slow}});
        fsdelay::set(fsname::encode(slow), 2000);
        const auto fast = qScopeGuard([] { fsdelay::set({}, 0); });
        int served = 0; // ticks run while the reached file's tag was still being read
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout,
                         [&] { served += app.m.currentFile == slow && fx.form().Text1[0]->text().isEmpty(); });
        probe.start(20);
        app.playback().Command3_Click();
        QVERIFY(waitFor([&] { return fx.form().Text1[0]->text() == "Slow"; }, 10000));
        QVERIFY(served > 0);
        QCOMPARE(app.mainPlayer().FileName(), slow);

        // Resumed from the slow disk, the window shows while the file still opens.
        bool shownEarly = false;
        QObject::disconnect(&probe, nullptr, nullptr, nullptr);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            shownEarly = shownEarly || (fx.app && fx.form().isVisible() && fx.app->mainPlayer().opening());
        });
        fx.app.reset();
        fsdelay::set(fsname::encode(slow), 2000);
        QVERIFY(!fx.start(SessionFile{{a, slow}, 1}).mainPlayer().openFailed());
        QVERIFY(shownEarly);
    }

    void closeDuringASlowOpenSavesAndExits_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("signal"); // 0: none, the close comes from inside
        for (int sig : {SIGTERM, SIGHUP, SIGINT})
            QTest::addRow("%s at start-up", sigabbrev_np(sig)) << "signal" << sig;
        QTest::newRow("the desktop session ends while playing") << "quit" << 0;
        QTest::newRow("window closed on Next") << "close" << 0;
        QTest::newRow("tray Quit on Next") << "tray" << 0;
        QTest::newRow("window closed on Next to a file on a hung disk") << "slow" << 0;
        QTest::newRow("signal while a FIFO is replayed") << "fifo" << int(SIGTERM);
    }
    void closeDuringASlowOpenSavesAndExits()
    {
        QFETCH(QString, mode);
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.mp3");
        QVERIFY(mode != "fifo" || makeFifo(fifo));
        testkit::writeSession(dir.path(), mode == "fifo" ? SessionFile{{fifo}, 0, 0, 1} : SessionFile{{a, b}, 0, 1});
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--child", dir.path(), mode});
        QVERIFY(waitFor([&] { return child.canReadLine(); }, 10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("waiting"));
        if (signal)
            ::kill(pid_t(child.processId()), signal);
        // Sooner than the held open would end; a child already gone was seen to end while its
        // line was awaited, and waitForFinished would call that a failure.
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(3000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0); // a signal's death would give its number
        const state::Records r(testkit::readAll(dir.filePath("velloran.txt")));
        const bool onNext = mode == "close" || mode == "tray" || mode == "slow";
        QCOMPARE(*r.readString(5), mode == "fifo" ? fifo : onNext ? b : a);
        QCOMPARE(r.readInt(3), int16_t(onNext ? 1 : 0));
        // At start-up: the second the resumed entry was about to start at.
        if (mode == "signal")
            QCOMPARE(r.readInt(4), int16_t(1));
    }

    void rememberedSecondPastTheEndStartsTheNextEntry()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{a, b}, 0, 30});
        Player &p = app.mainPlayer();
        // The resumed file is not played from the top: the next one starts.
        QVERIFY(waitFor([&] { return p.FileName() == b && p.PlayState() == Player::Playing; }, 1000));
        QCOMPARE(app.m.lastIndex, int16_t(1));
        QVERIFY(p.CurrentPosition() < 1.0);
    }

    // In mode Auto the start-up resume and the mode's own decision both start the remembered
    // file: it is opened once, stands at its second and plays; picked again, it starts over.
    void resumedFileOpensOnce()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{longOne, a}, 0, 3, 0, 0, 10, 0});
        Player &p = app.mainPlayer();
        QCOMPARE(p.openCount(), 1u);
        // A seek lands on a frame edge, a hair before the second asked for.
        QVERIFY2(p.CurrentPosition() > 2.9 && p.CurrentPosition() < 4.0,
                 qPrintable(QString::number(p.CurrentPosition())));
        QVERIFY(waitFor([&] { return p.CurrentPosition() >= 3.5; }, 3000));
        fx.pick(longOne);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QVERIFY2(p.CurrentPosition() < 1.0, qPrintable(QString::number(p.CurrentPosition())));
    }

    void missingFileReplayedIsTriedOnceASecond()
    {
        testkit::Fixture fx;
        const QString gone = fx.cwd.file("gone.mp3");
        App &app = fx.start(SessionFile{{gone}, 0, 0, 1});
        QVERIFY(waitFor([&] { return app.mainPlayer().openCount() >= 2; }, 3000));
        QElapsedTimer t;
        t.start();
        QVERIFY(waitFor([&] { return app.mainPlayer().openCount() >= 3; }, 3000));
        QVERIFY2(t.elapsed() > 500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(fx.form().Text2->text(), QStringLiteral("Λείπει το αρχείο - Missing file: ") + gone);
    }

    void aSaveCutShortByTheFileSizeLimitLeavesThePreviousSession()
    {
        testkit::Fixture fx(true);
        QStringList entries;
        for (int i = 0; i < 50; ++i)
            entries << QStringLiteral("/x/%1.mp3").arg(i);
        testkit::writeSession(fx.cwd.path(), {entries.mid(0, 3), 1, 30});
        const QByteArray before = testkit::readAll(fx.cwd.file("velloran.txt"));
        App &app = fx.start();
        fx.fill(entries);

        const pid_t child = fork();
        if (child == 0) {
            // The new file (116 records) is far past 4 KiB; the write fails part-way.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            app.session().SaveState();
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(testkit::readAll(fx.cwd.file("velloran.txt")), before);
        // No half-written temporary file is left.
        QCOMPARE(QDir(fx.cwd.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"velloran.txt"});

        // Without the limit the same save goes through.
        app.session().SaveState();
        QCOMPARE(fx.saved().recordCount(), 16 + 2 * 49);
    }

    void aSessionFileThatCannotBeWrittenIsRestoredFromTheDatabase()
    {
        testkit::Fixture fx(true);
        {
            App &app = fx.start(testkit::SessionFile{{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"}, 0});
            app.playback().setList2Index(2);
            app.playback().decide_video();
            fx.player->position = 77;
            // Something stands where the file goes: its rename can only fail.
            QVERIFY(QFile::remove(fx.cwd.file("velloran.txt")));
            QVERIFY(QDir(fx.cwd.path()).mkdir("velloran.txt"));
            QTest::qWait(20); // the recovery copy must be newer than the session file
            app.session().SaveState();
        }
        App &app = fx.start();
        QCOMPARE(app.m.currentFile, QStringLiteral("/x/3.mp3"));
        QCOMPARE(app.m.resumePos, int16_t(77));
        QVERIFY(app.form1().Text2->text().contains("restored from its recovery copy"));
    }

    // Broken files are passed over; one cut short while it plays ends, and the next plays.
    void brokenAndTruncatedFilesArePassedOver()
    {
        testkit::Fixture fx;
        const QString empty = fx.cwd.file("1.mp3"), text = fx.cwd.file("2.avi"), cut = fx.cwd.file("3.mp3");
        testkit::writeFile(empty, {});
        testkit::writeFile(text, "this is not a film\n");
        testkit::writeFile(cut, testkit::readAll(a).left(1500));
        const QString lengthy = testkit::makeMedia(fx.cwd.path(), "4.wav", "wav", 120);
        const QString good = testkit::makeMedia(fx.cwd.path(), "5.wav", "wav", 1);
        App &app = fx.start();
        fx.fill({empty, text, cut, lengthy, good});
        app.playback().Command3_Click();
        Player &p = app.mainPlayer();
        QVERIFY(waitFor([&] { return p.FileName() == lengthy && p.CurrentPosition() > 0.5; }, 10000));
        QVERIFY(QFile::resize(lengthy, 0));
        QVERIFY(waitFor([&] { return p.FileName() == good; }, 25000));
        QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 15000));
        QCOMPARE(fx.dialogs.messages.size(), size_t(1)); // only the all-played box
    }

    // Real files on the real program: the exact text once the lengths are in, with a saved
    // place and the speed. Lengths are read once: after a restart only a changed file is.
    void completedWindowText()
    {
        testkit::Fixture fx(true); // nothing plays
        const QString mp3 = testkit::makeMedia(fx.cwd.path(), "a.mp3", "mp3", 3);
        const QString wav = testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 4);
        const QString mkv = testkit::makeMedia(fx.cwd.path(), "c.mkv", "mkv", 5);
        const QString fifo = fx.cwd.file("pipe.mp3");
        QVERIFY(!mp3.isEmpty() && !wav.isEmpty() && !mkv.isEmpty() && makeFifo(fifo));
        const auto allIn = [](App &app) {
            return waitFor(
                [&] { return app.lengths().cache().lengthOf().size() == 4 && app.lengths().cache().complete(); },
                15000);
        };
        App &app = fx.start();
        fx.fill({mp3, wav, mkv, fifo});
        QVERIFY(allIn(app));
        app.m.playedMarks[0] = kOn;
        app.lengths().placeOf = [&](const QString &p) { return p == wav ? 2.0 : 0.0; };
        app.m.playSpeed = 1.5;
        app.lengths().refresh();
        QCOMPARE(app.form4().Label4->text(),
                 QStringLiteral("Υπόλοιπο - Left 0:00:05 / 0:00:12 (42 %), 1 χωρίς διάρκεια - without length"));

        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(mp3).constData(), &st), 0);
        const utimbuf later{st.st_atime, st.st_mtime + 10};
        QCOMPARE(::utime(QFile::encodeName(mp3).constData(), &later), 0);
        App &again = fx.start();
        fx.fill({mp3, wav, mkv, fifo});
        QVERIFY(allIn(again));
        QCOMPARE(again.lengths().cache().filesRead(), 1); // the others come from the database
    }

    // The speed outlives a restart; keys, check marks and both players agree.
    void speedSurvivesARestartAndReachesBothPlayers()
    {
        testkit::Fixture fx;
        fx.start().form1().mnuspeedn[2]->trigger(); // 1.25x
        fx.app->shutdownSteps();
        App &app = fx.start();
        Form1 &f = app.form1();
        QCOMPARE(checkedSpeed(f), 2);
        QCOMPARE(mpvDouble(app.mainPlayer(), "speed"), 1.25);
        int pitchKept = 0;
        mpv_get_property(mpvMain(app).handle(), "audio-pitch-correction", MPV_FORMAT_FLAG, &pitchKept);
        QVERIFY(pitchKept);
        // No key is taken twice among the window's commands.
        QList<QKeySequence> keys;
        for (QAction *a : f.findChildren<QAction *>())
            if (!a->shortcut().isEmpty())
                keys << a->shortcut();
        QCOMPARE(QSet<QKeySequence>(keys.begin(), keys.end()).size(), keys.size());

        QApplication::setActiveWindow(&f);
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.List2->setFocus();
        QTest::keyClick(f.List2, Qt::Key_Backspace);
        QCOMPARE(checkedSpeed(f), 1);
        f.mnuspeedn[1]->trigger(); // a click on the checked item keeps it checked
        QCOMPARE(checkedSpeed(f), 1);

        app.playback().mnuvideoshow_Click();
        fx.fill({film});
        fx.pick(film);
        Player &v = app.videoPlayer();
        QVERIFY(waitFor([&] { return v.FileName() == film && v.PlayState() == Player::Playing; }, 10000));
        // The keys work in the film's window as well, and reach both players.
        QApplication::setActiveWindow(&app.form2());
        QVERIFY(QTest::qWaitForWindowActive(&app.form2()));
        QTest::keyClick(&app.form2(), Qt::Key_BracketRight);
        QCOMPARE(mpvDouble(v, "speed"), 1.05);
        QCOMPARE(mpvDouble(app.mainPlayer(), "speed"), 1.05);
        QCOMPARE(checkedSpeed(f), -1);
        app.shutdownSteps();
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
        p.position = 595;
        app.sleep().tick(); // 2.5 s of the clock left less the margin
        QCOMPARE(p.volume, -1598);
        // Off in the middle of the fade gives the volume back and plays on.
        f.mnusleepn[0]->trigger();
        QCOMPARE(p.volume, -200);
        // A file whose real end comes sooner than its length said stops at that end.
        fx.fill({b, p.file});
        f.mnusleepn[1]->trigger();
        p.opens = 1;
        p.position = p.duration;
        f.Timer1->start(); // the ticker's timer drives the sleep timer too
        QVERIFY(waitFor([&] { return p.state == Player::Paused; }, 2000));
        QCOMPARE(p.file, QStringLiteral("/m/book.mp3")); // the list does not move on
        QCOMPARE(p.volume, -200);
        app.session().SaveState();
        QCOMPARE(fx.saved().readInt(6), int16_t(-200)); // the user's volume, not the faded one
    }

    // Paused, the ticker sleeps; a seek wakes it and the elapsed time follows, and so does a play.
    void tickerSleepsWhilePausedAndWakes()
    {
        testkit::Fixture fx;
        Form1 &f = fx.start().form1();
        Player &p = fx.app->mainPlayer();
        fx.fill({longOne});
        fx.pick(longOne);
        QVERIFY(waitFor([&] { return p.PlayState() == Player::Playing; }, 10000));
        QVERIFY(f.Timer1->isActive());
        p.Pause();
        QVERIFY(waitFor([&] { return !f.Timer1->isActive(); }, 5000));
        p.setCurrentPosition(4);
        QVERIFY(waitFor([&] { return f.Text1[6]->text() == QStringLiteral("00:00:04"); }, 5000));
        QVERIFY(waitFor([&] { return !f.Timer1->isActive(); }, 5000));
        f.mnuplaypause->trigger();
        QVERIFY(waitFor([&] { return f.Text1[6]->text() == QStringLiteral("00:00:05"); }, 5000));
        QVERIFY(f.Timer1->isActive());
    }

    // A file is heard to its last sample before the next one opens (the output's queue, ~0.3 s,
    // is not dropped). On every encoding (an 8 kHz mp3 ends before its header's length) the
    // sleep timer stops before anything of the next file sounds, and the second it stopped at
    // is kept as it is, not rounded up to the end, which would read as finished.
    void filesAreHeardToTheEndAndTheSleepTimerStopsBeforeIt()
    {
        for (const char *rate : {"8000 -b:a 8k", "22050", "44100"}) {
            testkit::Fixture fx;
            const QString book = testkit::makeMedia(fx.cwd.path(), "book.mp3", "mp3", 3, "-ar " + QLatin1String(rate));
            Player &p = fx.start().mainPlayer();
            fx.fill({b, book, a});
            fx.pick(b);
            const auto started = std::chrono::steady_clock::now();
            QVERIFY(waitFor([&] { return p.FileName() == book; }, 10000));
            QVERIFY(std::chrono::steady_clock::now() - started > std::chrono::milliseconds(1850)); // of b's 2 s
            fx.form().mnusleepn[1]->trigger();
            QVERIFY(waitFor([&] { return fx.form().mnusleepn[0]->isChecked(); }, 10000));
            QVERIFY2(!waitFor([&] { return p.FileName() == a; }, 1000), rate);
            const double at = p.CurrentPosition();
            fx.app->session().SaveState();
            QCOMPARE(fx.saved().readInt(4), int16_t(at));
        }
    }

    // Two files of one format join on one sound output: mpv went on to the file prepared
    // ahead by itself, and the program took it over, with no output opened for it.
    void aJoinKeepsTheSoundOutputOpen()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        mpv_handle *probe = mpv_create_client(mpvMain(app).handle(), "probe");
        mpv_request_log_messages(probe, "info");
        int files = 0, opened = 0; // files started, outputs opened for the second
        auto count = [&] {
            for (mpv_event *ev = mpv_wait_event(probe, 0); ev->event_id != MPV_EVENT_NONE;
                 ev = mpv_wait_event(probe, 0)) {
                const QByteArray text
                    = ev->event_id == MPV_EVENT_LOG_MESSAGE ? static_cast<mpv_event_log_message *>(ev->data)->text : "";
                files += text.startsWith(" (+) Audio");
                opened += files == 2 && text.startsWith("AO: [");
            }
            return !fx.dialogs.messages.empty(); // every file played
        };
        fx.fill({a, b});
        fx.pick(a);
        QVERIFY(waitFor(count, 10000));
        QCOMPARE(app.mainPlayer().FileName(), b);
        QCOMPARE(files, 2);
        QCOMPARE(opened, 0);
        mpv_destroy(probe);
    }

    // Files 27 dB apart, as played: within 1 dB by their tags, within 3 dB untagged when evened.
    void loudnessEvensFilesOutAndIsKept()
    {
        for (const auto &[choice, within] : {std::pair{1, 1.0}, std::pair{3, 3.0}}) {
            testkit::Fixture fx;
            fx.playerOptions = {{"ao", "pcm"},
                                {"ao-pcm-file", fx.cwd.file("out.pcm").toUtf8()},
                                {"ao-pcm-waveheader", "no"},
                                {"ao-pcm-append", "yes"},
                                {"audio-format", "s16"}};
            QStringList files;
            for (const char *level : {"-12dB -metadata REPLAYGAIN_TRACK_GAIN=+21 -metadata REPLAYGAIN_TRACK_PEAK=0.03",
                                      "15dB -metadata REPLAYGAIN_TRACK_GAIN=-6 -metadata REPLAYGAIN_TRACK_PEAK=0.71"})
                files << testkit::makeMedia(fx.cwd.path(), QString::number(files.size()) + ".flac", "flac", 6,
                                            "-af volume=" + QLatin1String(level));
            fx.start().form1().mnuloudnessn[size_t(choice)]->trigger();
            fx.fill(files);
            fx.pick(files[0]);
            QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 20000)); // all played
            const QByteArray pcm = testkit::readAll(fx.cwd.file("out.pcm")).leftJustified(12 * 44100 * 2, '\0');
            std::array<double, 2> power{}; // over the middle of each file's six seconds
            for (size_t f = 0; f < 2; ++f)
                for (size_t i = 44100 * (6 * f + 2); i < 44100 * (6 * f + 4); ++i)
                    power[f] += std::pow(qFromLittleEndian<qint16>(pcm.constData() + 2 * i), 2);
            const double apart = 10 * std::log10(power[0] / power[1]);
            QVERIFY2(std::abs(apart) <= within, qPrintable(QStringLiteral("choice %1: %2 dB").arg(choice).arg(apart)));
            QVERIFY(fx.start().form1().mnuloudnessn[size_t(choice)]->isChecked());
        }
    }
};

int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);
    QApplication app(argc, argv);
    TestPlayer tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "test_player.moc"
