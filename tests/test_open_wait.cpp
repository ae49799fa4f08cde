// Files that are slow or strange to open: the window never waits on them.
// The same binary, started with --child, is the program that gets closed mid-open.

#include "app/app.h"
#include "app/shutdown_signals.h"
#include "playback/mpv_player.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using testkit::waitFor;

namespace {

void writeSession(const QString &folder, const QStringList &entries, int16_t last, int16_t pos, int16_t replay = 0,
                  int16_t preview = 0, int16_t previewSecs = 10, int16_t video = -1)
{
    state::Snapshot s;
    s.drive = "/";
    s.folder = folder;
    s.lastIndex = last;
    s.resumePos = pos;
    s.currentEntry = last >= 0 && last < entries.size() ? entries[last] : QString();
    s.entries = entries;
    s.playedMarks.assign(size_t(entries.size()), 0);
    s.replayMode = replay;
    s.previewOn = preview;
    s.previewSecs = previewSecs;
    s.videoMode = video; // -1 unless asked: everything on the main player
    QFile f(QDir(folder).filePath("velloran.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(state::encode(s));
}

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

// The program closed in the middle of a held open: "sigterm" waits at start-up for the
// resumed file and is ended by the parent's signal; "close" waits on Next and closes its
// window itself. Prints "waiting" once the open is held.
int childMain(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    const QByteArray mode = argv[3];
    App app({testkit::headless()});
    shutdown_signals::install([&app] { app.Form_QueryUnload(); });
    const auto announce = [] {
        std::printf("waiting\n");
        std::fflush(stdout);
    };
    if (mode == "sigterm" || mode == "fifo") {
        mpvMain(app).loadEventHoldMs = mode == "sigterm" ? 5000 : 0;
        QTimer::singleShot(300, announce);
        app.Form_Load();
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

class TestOpenWait : public QObject {
    Q_OBJECT
    QTemporaryDir media;
    QString a, b, c, longOne;

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        a = testkit::makeMedia(media.path(), "a.mp3", "mp3", 2);
        b = testkit::makeMedia(media.path(), "b.mp3", "mp3", 2);
        c = testkit::makeMedia(media.path(), "c.mp3", "mp3", 2);
        longOne = testkit::makeMedia(media.path(), "long.mp3", "mp3", 6);
        QVERIFY(!a.isEmpty() && !b.isEmpty() && !c.isEmpty() && !longOne.isEmpty());
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
            QVERIFY(p.PlayState() != Player::Playing);
            QVERIFY(!fifoHasReader(fifo));
        }
        ::close(s);
        // A good file after them opens as usual.
        p.setFileName(a);
        QVERIFY(!p.openFailed() && p.Duration() > 1.5);
    }

    void fifoInThePlaylistIsPassedOver()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        // Names in the playlist's own order.
        const QString one = cwd.file("1.mp3"), fifo = cwd.file("2.mp3"), three = cwd.file("3.mp3");
        QVERIFY(QFile::copy(a, one) && QFile::copy(b, three));
        QVERIFY(makeFifo(fifo));

        // Resumed at start-up: the next entry plays within a second.
        {
            writeSession(cwd.path(), {fifo, three}, 0, 0);
            App app({testkit::headless()});
            QElapsedTimer t;
            t.start();
            app.Form_Load();
            QVERIFY(t.elapsed() < 1000);
            QVERIFY(app.form1().isVisible());
            QVERIFY(
                waitFor([&] { return app.m.lastIndex == 1 && app.mainPlayer().PlayState() == Player::Playing; }, 1000));
            QCOMPARE(app.mainPlayer().FileName(), three);
        }
        // Reached after another file: the third follows it at once.
        {
            writeSession(cwd.path(), {one, fifo, three}, 0, 1);
            App app({testkit::headless()});
            app.Form_Load();
            QVERIFY(waitFor([&] { return app.mainPlayer().FileName() == fifo; }, 3000));
            QCOMPARE(app.form1().Text2->text(), QStringLiteral("Δεν ανοίγει το αρχείο - Cannot open file: ") + fifo);
            QVERIFY(
                waitFor([&] { return app.m.lastIndex == 2 && app.mainPlayer().PlayState() == Player::Playing; }, 1000));
            QVERIFY(!fifoHasReader(fifo));
        }
        // Replayed over and over: the window goes on being served and the FIFO is never opened.
        {
            writeSession(cwd.path(), {fifo}, 0, 0, 1);
            App app({testkit::headless()});
            app.Form_Load();
            int served = 0;
            QTimer probe;
            QObject::connect(&probe, &QTimer::timeout, [&] { ++served; });
            probe.start(50);
            QTest::qWait(1500);
            QVERIFY(served >= 15);
            QVERIFY(app.mainPlayer().openCount() <= 3);
            QVERIFY(!fifoHasReader(fifo));
        }
        // Dropped: it joins the list like any name of its type and is passed over when reached.
        {
            writeSession(cwd.path(), {one}, 0, 1);
            App app({testkit::headless()});
            app.Form_Load();
            app.playlist().WatchForFiles({fifo});
            QCOMPARE(app.form1().List2->count(), 2);
            QVERIFY(waitFor([&] { return app.mainPlayer().FileName() == fifo; }, 3000));
            QVERIFY(app.mainPlayer().openFailed());
            QVERIFY(!fifoHasReader(fifo));
        }
    }

    void addLeavesStrangeFilesOut()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        QVERIFY(QDir(cwd.path()).mkpath("songs/deeper"));
        QVERIFY(QFile::copy(a, cwd.file("songs/a.mp3")));
        QVERIFY(QFile::copy(b, cwd.file("songs/deeper/b.mp3")));
        QVERIFY(makeFifo(cwd.file("songs/fifo.mp3")));
        QVERIFY(makeFifo(cwd.file("songs/deeper/fifo2.mp3")));
        QVERIFY(QFile::link("/dev/null", cwd.file("songs/deeper/null.mp3")));
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        QVERIFY(app.playlist().setDirPath(cwd.file("songs")));
        f.Option1[1]->setChecked(true); // current folder and all found below it
        app.playlist().mnumoresub_Click();
        QVERIFY(waitFor([&] { return f.List1->count() >= 2; }, 3000));
        app.playlist().Command4_Click();
        QVERIFY(waitFor([&] { return f.List2->count() >= 2; }, 3000));
        QCOMPARE(f.List2->count(), 2);
        for (int i = 0; i < f.List2->count(); ++i)
            QVERIFY2(f.List2->text(i).endsWith("a.mp3") || f.List2->text(i).endsWith("b.mp3"),
                     qPrintable(f.List2->text(i)));
    }

    void slowOpenKeepsTheWindowServed()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeSession(cwd.path(), {a, b, c}, -1, 0);
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
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
        int servedDuringWait = 0, paintsDuringWait = 0, openingSeen = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (returned)
                return;
            ++servedDuringWait;
            openingSeen += p.opening();
            f.Text2->setText(QString::number(servedDuringWait));
            paintsDuringWait = counter.paints;
        });
        probe.start(50);
        QTimer::singleShot(0, [&] {
            app.playback().Command3_Click();
            returned = true;
        });
        QVERIFY(waitFor([&] { return returned; }, MpvPlayer::kOpenTimeoutMs + 2000));
        // The wait let the window paint and timers run, and the ticker signalled no end.
        QVERIFY2(servedDuringWait >= 60, qPrintable(QString::number(servedDuringWait)));
        QVERIFY(paintsDuringWait >= 10);
        QCOMPARE(p.openCount(), 1u);
        QVERIFY(openingSeen >= 60 && !p.opening());
        // The caller went on with the loaded file, as the order of a start needs.
        QCOMPARE(p.FileName(), a);
        QVERIFY(p.Duration() > 1.5);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QCOMPARE(f.Text1[5]->text(), QStringLiteral("00:00:02"));
    }

    void aNewerStartTakesOverAWaitingOne()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeSession(cwd.path(), {a, b, c}, -1, 0);
        App app({testkit::headless()});
        app.Form_Load();
        MpvPlayer &p = mpvMain(app);
        p.loadEventHoldMs = 5000;
        int firstReturned = 0;
        QTimer::singleShot(0, [&] {
            app.playback().Command3_Click();
            firstReturned = 1;
        });
        // Next pressed while the first file still opens; this one opens at once.
        QTimer::singleShot(300, [&] {
            p.loadEventHoldMs = 0;
            app.playback().Command3_Click();
        });
        QVERIFY(waitFor([&] { return firstReturned == 1; }, 3000));
        QCOMPARE(app.m.lastIndex, int16_t(1));
        QCOMPARE(p.FileName(), b);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        // The first start left the player to the second one: still near its start, and
        // the held load event of the first file changed nothing when it came.
        QTest::qWait(300);
        QVERIFY(p.CurrentPosition() < 1.0);
        QCOMPARE(p.FileName(), b);
        QCOMPARE(p.openCount(), 2u);
    }

    void closeDuringASlowOpenSavesAndExits_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("signal at start-up") << "sigterm";
        QTest::newRow("window closed on Next") << "close";
        QTest::newRow("tray Quit on Next") << "tray";
        QTest::newRow("signal while a FIFO is replayed") << "fifo";
    }

    void closeDuringASlowOpenSavesAndExits()
    {
        QFETCH(QString, mode);
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.mp3");
        if (mode == "fifo") {
            QVERIFY(makeFifo(fifo));
            writeSession(dir.path(), {fifo}, 0, 0, 1);
        } else {
            writeSession(dir.path(), {a, b}, 0, 1);
        }
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({"--child", dir.path(), mode});
        child.start();
        QVERIFY(child.waitForStarted());
        QVERIFY(waitFor([&] { return child.canReadLine(); }, 10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("waiting"));
        QElapsedTimer t;
        t.start();
        if (mode == "sigterm" || mode == "fifo")
            ::kill(pid_t(child.processId()), SIGTERM);
        QVERIFY(child.waitForFinished(3000));
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QFile f(dir.filePath("velloran.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const state::Records r(f.readAll());
        if (mode == "fifo") {
            QCOMPARE(r.readInt(10), int16_t(0));
            QCOMPARE(*r.readString(5), fifo);
            QCOMPARE(r.readInt(state::replayRecord(0)), int16_t(1));
            return;
        }
        QCOMPARE(r.readInt(10), int16_t(1));
        if (mode == "sigterm") {
            // The resumed entry and the second it was about to start at.
            QCOMPARE(r.readInt(3), int16_t(0));
            QCOMPARE(r.readInt(4), int16_t(1));
            QCOMPARE(*r.readString(5), a);
        } else {
            QCOMPARE(r.readInt(3), int16_t(1));
            QCOMPARE(*r.readString(5), b);
        }
    }

    void rememberedSecondPastTheEndStartsTheNextEntry()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeSession(cwd.path(), {a, b}, 0, 30);
        App app({testkit::headless()});
        QElapsedTimer t;
        t.start();
        app.Form_Load();
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

    // In mode Auto the start-up resume and the mode's own decision both start the
    // remembered file: it is opened once, stands at its second and plays; picking the
    // playing entry again still starts it over.
    void resumedFileOpensOnce()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeSession(cwd.path(), {longOne, a}, 0, 3, 0, 0, 10, 0);
        App app({testkit::headless()});
        app.Form_Load();
        Player &p = app.mainPlayer();
        QCOMPARE(app.m.videoMode, int16_t(0));
        QCOMPARE(p.FileName(), longOne);
        QCOMPARE(p.openCount(), 1u);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        // A seek lands on a frame edge, a hair before the second asked for.
        QVERIFY2(p.CurrentPosition() > 2.9 && p.CurrentPosition() < 4.0,
                 qPrintable(QString::number(p.CurrentPosition())));
        QVERIFY(waitFor([&] { return p.CurrentPosition() >= 3.5; }, 3000));
        app.form1().List2->setListIndex(0);
        app.playback().List2_DblClick();
        QCOMPARE(p.FileName(), longOne);
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QVERIFY2(p.CurrentPosition() < 1.0, qPrintable(QString::number(p.CurrentPosition())));
    }

    void missingFileReplayedIsTriedOnceASecond()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString gone = cwd.file("gone.mp3");
        writeSession(cwd.path(), {gone}, 0, 0, 1);
        App app({testkit::headless()});
        app.Form_Load();
        QTest::qWait(2500);
        const quint64 opens = app.mainPlayer().openCount();
        QVERIFY2(opens >= 2 && opens <= 4, qPrintable(QString::number(opens)));
        QCOMPARE(app.form1().Text2->text(), QStringLiteral("Λείπει το αρχείο - Missing file: ") + gone);
    }

    void previewEndStopsTheLastFile()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeSession(cwd.path(), {longOne}, 0, 0, 0, -1, 2);
        App app({testkit::headless()});
        app.Form_Load();
        Player &p = app.mainPlayer();
        QCOMPARE(p.PlayState(), int(Player::Playing));
        // The first tick ends the resumed preview; nothing follows it.
        QVERIFY(waitFor([&] { return !dialogs.messages.empty(); }, 2000));
        QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("Αναπαράχθηκαν Όλα")));
        QVERIFY(p.PlayState() != Player::Playing);
        const double at = p.CurrentPosition();
        QTest::qWait(400);
        QCOMPARE(p.CurrentPosition(), at);
        QVERIFY(!app.form1().Text1[6]->text().contains("--"));
        QCOMPARE(dialogs.messages.size(), size_t(1));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);
    QApplication app(argc, argv);
    TestOpenWait tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "test_open_wait.moc"
