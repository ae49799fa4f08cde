// The 60 ms ticker against a scripted player: exact positions, lengths and times of day.

#include "app/app.h"
#include "app/shell.h"
#include "playback/playback.h"
#include "playback/status_logic.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

// The program on an empty session with a scripted main player; the test runs the ticks.
struct Ticking {
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    testkit::ScriptedPlayer *player = nullptr;
    double now = 12 * 3600; // noon
    App app{{{}, [this] {
                 auto p = std::make_unique<testkit::ScriptedPlayer>();
                 player = p.get();
                 return p;
             }}};
    Form1 &f = app.form1();

    explicit Ticking(int entries = 3)
    {
        app.Form_Load();
        f.Timer1->stop();
        app.playback().timeOfDay = [this] { return now; };
        std::vector<QString> rows;
        for (int i = 0; i < entries; ++i)
            rows.push_back(QStringLiteral("/m/%1.mp3").arg(char('a' + i)));
        f.List2->setItems(rows);
        app.playback().resetMarksToPlaylist();
        app.playback().put_form4();
    }
    void tick() { app.playback().Timer1_Timer(); }
    QString elapsed() const { return f.Text1[6]->text(); }
    QString tip() { return status::shownTip(app.shell().trayTip()); }
};

} // namespace

class TestTicker : public QObject {
    Q_OBJECT

private slots:
    void elapsedAndRemaining()
    {
        Ticking t;
        t.player->duration = 3 * 3600 + 3 * 60 + 20;
        t.player->position = 3600 + 2 * 60 + 5.4;
        t.app.m.lastIndex = 1; // a new entry: the tip is written on this tick
        t.tick();
        QCOMPARE(t.elapsed(), QStringLiteral("01:02:05"));
        QVERIFY2(t.tip().startsWith("02:01:15 - "), qPrintable(t.tip()));
        QCOMPARE(t.app.m.mins, int16_t(2));
        QCOMPARE(t.app.m.secs, int16_t(5));

        // Under half a second: zeros, and a tip with no remaining time.
        t.player->position = 0.3;
        t.app.m.lastIndex = 2;
        t.tick();
        QCOMPARE(t.elapsed(), QStringLiteral("00:00:00"));
        QVERIFY2(t.tip().startsWith(" - "), qPrintable(t.tip()));
        QCOMPARE(t.player->opens, quint64(1)); // nothing ended
    }

    void firstTickTip()
    {
        // lastIndex 0 at start-up: the first tick leaves the tip alone.
        Ticking t;
        const QString before = t.app.shell().trayTip();
        t.player->duration = 100;
        t.player->position = 10;
        t.tick();
        QCOMPARE(t.app.shell().trayTip(), before);
        t.app.m.lastIndex = 2;
        t.tick();
        QVERIFY(t.tip().startsWith("01:30 - ") || t.tip().startsWith("00:01:30 - "));
    }

    void previewDisplayAndClock()
    {
        Ticking t(6);
        t.app.m.previewOn = kOn;
        t.app.m.previewSecs = 10;
        t.app.m.previewStart = 3660;
        t.player->duration = 4 * 3600;
        t.player->position = 3663.2;
        t.app.playback().setList2Index(1);
        t.app.m.lastIndex = 1;
        t.app.m.playedMarks[1] = kOn;
        t.now = 5; // just after midnight: the clock test cannot hold yet
        t.tick();
        QCOMPARE(t.elapsed(), QStringLiteral("01:01:03     [10] -07"));
        QVERIFY2(t.tip().startsWith("07 - "), qPrintable(t.tip()));
        QCOMPARE(t.player->opens, quint64(1));

        // previewClock is 0 until the first end: at noon the clock test holds at once.
        t.now = 12 * 3600;
        t.tick();
        QCOMPARE(t.player->opens, quint64(2));
        QCOMPARE(t.app.m.lastIndex, int16_t(2));

        // The next preview ends by the clock previewSecs after that end, not before...
        t.player->duration = 400;
        t.player->position = 100; // the preview of a 400 s file starts at 100
        t.now += 9.4;
        t.tick();
        QCOMPARE(t.player->opens, quint64(2));
        t.now += 0.6;
        t.tick();
        QCOMPARE(t.player->opens, quint64(3));

        // ...and after midnight only the position ends it.
        t.now = 3;
        t.player->position = 100;
        t.tick();
        QCOMPARE(t.player->opens, quint64(3));
        t.player->position = 110;
        t.tick();
        QCOMPARE(t.player->opens, quint64(4));
    }

    void endsOnceAndNeverOnAnEmptyList()
    {
        // Every file plays to its end at once; replay None: three files, one message, and
        // a last file left standing at its end is not ended again on later ticks.
        Ticking t;
        t.player->duration = 5;
        for (int i = 0; i < 8; ++i) {
            t.player->position = t.player->duration;
            t.tick();
        }
        QCOMPARE(t.player->opens, quint64(1 + 3));
        QCOMPARE(t.dialogs.messages.size(), size_t(1));
        QCOMPARE(t.app.m.lastIndex, int16_t(-1));

        Ticking empty(0);
        empty.player->duration = 5;
        empty.player->position = 5;
        for (int i = 0; i < 3; ++i)
            empty.tick();
        QCOMPARE(empty.player->opens, quint64(1));
        QVERIFY(empty.dialogs.messages.empty());
    }
};

QTEST_MAIN(TestTicker)
#include "test_ticker.moc"
