// The libmpv player on real media, and files that are slow or strange to open: the window
// never waits on them. The same binary, started with --child, is the program that gets
// closed mid-open.

#include "app/shutdown_signals.h"
#include "playback/mpv_player.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mpv/client.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using testkit::SessionFile;
using testkit::waitFor;

namespace {

MpvPlayer &mpvMain(App &app) { return dynamic_cast<MpvPlayer &>(app.mainPlayer()); }

bool makeFifo(const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

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
    QString a, b, c, longOne, wav, avi;

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        a = testkit::makeMedia(media.path(), "a.mp3", "mp3", 2);
        b = testkit::makeMedia(media.path(), "b.mp3", "mp3", 2);
        c = testkit::makeMedia(media.path(), "c.mp3", "mp3", 2);
        longOne = testkit::makeMedia(media.path(), "long.mp3", "mp3", 6);
        wav = testkit::makeMedia(media.path(), "one.wav", "wav", 1);
        avi = testkit::makeMedia(media.path(), "clip.avi", "avi", 1);
        for (const QString &f : {a, b, c, longOne, wav, avi})
            QVERIFY(!f.isEmpty());
    }

    void opensSeeksPausesAndEnds()
    {
        MpvPlayer p(testkit::headless());
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QVERIFY(qAbs(p.Duration()) < 1e-9);
        for (const QString &f : {a, wav, avi}) {
            p.setFileName(f);
            QCOMPARE(p.FileName(), f);
            QVERIFY2(p.Duration() > 0.8, qPrintable(f));
            QCOMPARE(p.CurrentPosition(), 0.0);
            QVERIFY(p.PlayState() != Player::Playing);
        }
        QCOMPARE(p.openCount(), 3u);
        p.setFileName(a);
        p.setCurrentPosition(1);
        QVERIFY(qAbs(p.CurrentPosition() - 1.0) < 0.01);
        p.Play();
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 1.2; }, 3000));
        p.Pause();
        QCOMPARE(p.PlayState(), int(Player::Paused));
        p.Stop();
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QVERIFY(p.CurrentPosition() < 0.1);
        // The end reads as the length, and stays so.
        p.setFileName(wav);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() == p.Duration(); }, 5000));
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        // Missing and junk files look ended; a good file after them opens as usual.
        QFile junk(media.filePath("junk.mp3"));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, 'x')) == 4096);
        junk.close();
        for (const QString &bad : {media.filePath("missing.mp3"), junk.fileName()}) {
            p.setFileName(bad);
            QCOMPARE(p.CurrentPosition(), p.Duration());
            p.Play();
            QVERIFY(p.PlayState() != Player::Playing);
        }
        p.setFileName(a);
        QVERIFY(p.Duration() > 1.5 && p.CurrentPosition() != p.Duration());
    }

    // A player made on first use has no core until it opens a file; the volume set before
    // reaches the core on the decibel scale.
    void coreOnFirstUse()
    {
        MpvPlayer p(testkit::headless(), nullptr, true);
        p.setVolume(-600);
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QVERIFY(p.extent().isEmpty() && !p.coreCreated());
        p.setFileName(a);
        QVERIFY(p.coreCreated() && p.Duration() > 1.5);
        double level = 0;
        QVERIFY(mpv_get_property(p.handle(), "volume", MPV_FORMAT_DOUBLE, &level) >= 0);
        QVERIFY(qAbs(level - 79.43) < 0.01);
        QCOMPARE(MpvPlayer::mpvVolumeFor(0), 100.0);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 0.2; }, 3000));
    }

    void strangeFilesFailAtOnceAndAreNeverOpened()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.mp3");
        QVERIFY(makeFifo(fifo));
        const QString sock = dir.filePath("sock.mp3");
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, QFile::encodeName(sock).constData(), sizeof addr.sun_path);
        QVERIFY(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        const QString device = dir.filePath("device.mp3");
        QVERIFY(QFile::link("/dev/zero", device));
        MpvPlayer p(testkit::headless());
        for (const QString &path : {fifo, sock, device}) {
            QElapsedTimer t;
            t.start();
            p.setFileName(path);
            QVERIFY2(t.elapsed() < 1000, qPrintable(path));
            QVERIFY(p.openFailed());
            QCOMPARE(p.CurrentPosition(), p.Duration());
            QVERIFY(!fifoHasReader(fifo));
        }
        ::close(s);
        p.setFileName(a);
        QVERIFY(!p.openFailed() && p.Duration() > 1.5);
    }

    void fifoInThePlaylistIsPassedOver()
    {
        testkit::Fixture fx;
        const QString one = fx.cwd.file("1.mp3"), fifo = fx.cwd.file("2.mp3"), three = fx.cwd.file("3.mp3");
        QVERIFY(QFile::copy(a, one) && QFile::copy(b, three));
        QVERIFY(makeFifo(fifo));
        // Resumed at start-up: the next entry plays within a second.
        QElapsedTimer t;
        t.start();
        App *app = &fx.start(SessionFile{{fifo, three}, 0});
        QVERIFY(t.elapsed() < 1000);
        QVERIFY(
            waitFor([&] { return app->m.lastIndex == 1 && app->mainPlayer().PlayState() == Player::Playing; }, 1000));
        QCOMPARE(app->mainPlayer().FileName(), three);
        // Reached after another file: the third follows it at once.
        app = &fx.start(SessionFile{{one, fifo, three}, 0, 1});
        QVERIFY(waitFor([&] { return app->mainPlayer().FileName() == fifo; }, 3000));
        QCOMPARE(fx.form().Text2->text(), QStringLiteral("Δεν ανοίγει το αρχείο - Cannot open file: ") + fifo);
        QVERIFY(
            waitFor([&] { return app->m.lastIndex == 2 && app->mainPlayer().PlayState() == Player::Playing; }, 1000));
        // Replayed over and over: the window goes on being served and the FIFO is never opened.
        app = &fx.start(SessionFile{{fifo}, 0, 0, 1});
        int served = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { ++served; });
        probe.start(50);
        QVERIFY(waitFor([&] { return served >= 30; }, 3000));
        QVERIFY(app->mainPlayer().openCount() <= 3);
        // Dropped: it joins the list like any name of its type and is passed over when reached.
        app = &fx.start(SessionFile{{one}, 0, 1});
        app->playlist().WatchForFiles({fifo});
        QCOMPARE(fx.form().List2->count(), 2);
        QVERIFY(waitFor([&] { return app->mainPlayer().FileName() == fifo; }, 3000));
        QVERIFY(app->mainPlayer().openFailed());
        QVERIFY(!fifoHasReader(fifo));
    }

    void addLeavesStrangeFilesOut()
    {
        testkit::Fixture fx;
        QVERIFY(QDir(fx.cwd.path()).mkpath("songs/deeper"));
        QVERIFY(QFile::copy(a, fx.cwd.file("songs/a.mp3")) && QFile::copy(b, fx.cwd.file("songs/deeper/b.mp3")));
        QVERIFY(makeFifo(fx.cwd.file("songs/fifo.mp3")) && makeFifo(fx.cwd.file("songs/deeper/fifo2.mp3")));
        QVERIFY(QFile::link("/dev/null", fx.cwd.file("songs/deeper/null.mp3")));
        App &app = fx.start();
        Form1 &f = fx.form();
        QVERIFY(app.playlist().setDirPath(fx.cwd.file("songs")));
        f.Option1[1]->setChecked(true); // current folder and all found below it
        app.playlist().mnumoresub_Click();
        QVERIFY(waitFor([&] { return f.List1->count() >= 2; }, 3000));
        app.playlist().Command4_Click();
        QVERIFY(waitFor([&] { return f.List2->count() >= 2; }, 3000));
        QCOMPARE(f.List2->count(), 2);
        QCOMPARE(f.List2->text(0), fx.cwd.file("songs/a.mp3"));
        QCOMPARE(f.List2->text(1), fx.cwd.file("songs/deeper/b.mp3"));
    }

    void slowOpenKeepsTheWindowServed()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{a, b, c}});
        Form1 &f = fx.form();
        MpvPlayer &p = mpvMain(app);
        p.loadEventHoldMs = 5000;
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        f.Text2->installEventFilter(&counter);
        bool returned = false;
        int served = 0, paints = 0, openingSeen = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (returned)
                return;
            ++served;
            openingSeen += p.opening();
            f.Text2->setText(QString::number(served));
            paints = counter.paints;
        });
        probe.start(50);
        QTimer::singleShot(0, [&] {
            app.playback().Command3_Click();
            returned = true;
        });
        QVERIFY(waitFor([&] { return returned; }, MpvPlayer::kOpenTimeoutMs + 2000));
        // The wait let the window paint and timers run, and the ticker signalled no end.
        QVERIFY2(served >= 60 && paints >= 10, qPrintable(QString::number(served)));
        QVERIFY(openingSeen >= 60 && !p.opening());
        QCOMPARE(p.openCount(), 1u);
        // The caller went on with the loaded file, as the order of a start needs.
        QCOMPARE(p.FileName(), a);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QCOMPARE(f.Text1[5]->text(), QStringLiteral("00:00:02"));
    }

    void aNewerStartTakesOverAWaitingOne()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{a, b, c}});
        MpvPlayer &p = mpvMain(app);
        p.loadEventHoldMs = 5000;
        bool firstReturned = false;
        QTimer::singleShot(0, [&] {
            app.playback().Command3_Click();
            firstReturned = true;
        });
        // Next pressed while the first file still opens; this one opens at once.
        QTimer::singleShot(300, [&] {
            p.loadEventHoldMs = 0;
            app.playback().Command3_Click();
        });
        QVERIFY(waitFor([&] { return firstReturned; }, 3000));
        QCOMPARE(app.m.lastIndex, int16_t(1));
        QCOMPARE(p.FileName(), b);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        // The held load event of the first file, when it came, changed nothing.
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 0.3; }, 3000));
        QVERIFY(p.CurrentPosition() < 1.0);
        QCOMPARE(p.FileName(), b);
        QCOMPARE(p.openCount(), 2u);
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
        QTest::newRow("signal while a FIFO is replayed") << "fifo" << int(SIGTERM);
    }
    void closeDuringASlowOpenSavesAndExits()
    {
        QFETCH(QString, mode);
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.mp3");
        if (mode == "fifo") {
            QVERIFY(makeFifo(fifo));
            testkit::writeSession(dir.path(), {{fifo}, 0, 0, 1});
        } else {
            testkit::writeSession(dir.path(), {{a, b}, 0, 1});
        }
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--child", dir.path(), mode});
        QVERIFY(waitFor([&] { return child.canReadLine(); }, 10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("waiting"));
        QElapsedTimer t;
        t.start();
        if (signal)
            ::kill(pid_t(child.processId()), signal);
        QVERIFY(child.waitForFinished(3000));
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QFile f(dir.filePath("velloran.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const state::Records r(f.readAll());
        const bool onNext = mode == "close" || mode == "tray";
        QCOMPARE(*r.readString(5), mode == "fifo" ? fifo : onNext ? b : a);
        QCOMPARE(r.readInt(3), int16_t(onNext ? 1 : 0));
        // At start-up: the second the resumed entry was about to start at.
        if (mode == "signal")
            QCOMPARE(r.readInt(4), int16_t(1));
    }

    void rememberedSecondPastTheEndStartsTheNextEntry()
    {
        testkit::Fixture fx;
        QElapsedTimer t;
        t.start();
        App &app = fx.start(SessionFile{{a, b}, 0, 30});
        QVERIFY(t.elapsed() < 1000);
        Player &p = app.mainPlayer();
        // The resumed file stands at its end instead of playing from the top.
        QCOMPARE(p.FileName(), a);
        QVERIFY(p.PlayState() != Player::Playing);
        QCOMPARE(p.CurrentPosition(), p.Duration());
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
        QCOMPARE(p.FileName(), longOne);
        QCOMPARE(p.openCount(), 1u);
        QCOMPARE(p.PlayState(), int(Player::Playing));
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

    void previewEndStopsTheLastFile()
    {
        testkit::Fixture fx;
        App &app = fx.start(SessionFile{{longOne}, 0, 0, 0, -1, 2});
        Player &p = app.mainPlayer();
        QCOMPARE(p.PlayState(), int(Player::Playing));
        // The first tick ends the resumed preview; nothing follows it.
        QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 2000));
        QVERIFY(fx.dialogs.messages[0].text.startsWith(QStringLiteral("Αναπαράχθηκαν Όλα")));
        QVERIFY(p.PlayState() != Player::Playing);
        const double at = p.CurrentPosition();
        QVERIFY(!waitFor([&] { return p.CurrentPosition() != at || fx.dialogs.messages.size() > 1; }, 400));
        QVERIFY(!fx.form().Text1[6]->text().contains("--"));
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
