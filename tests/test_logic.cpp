// The pure decisions and texts: rounding and number texts, the next entry, status texts, the
// elapsed display, completed rows and tips, places, speed and sleep, time left, the video
// window, media control and autostart; then the 60 ms ticker against a scripted player, for
// exact positions, lengths and times of day.

#include "app/autostart_logic.h"
#include "app/mpris_logic.h"
#include "app/shell.h"
#include "base/numtext.h"
#include "playback/film_logic.h"
#include "playback/idle_logic.h"
#include "playback/lengths_logic.h"
#include "playback/places_logic.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playback/sleep_logic.h"
#include "playback/speed_logic.h"
#include "playback/status_logic.h"
#include "playback/track_logic.h"
#include "playback/transport_logic.h"
#include "playback/video_logic.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QLineEdit>
#include <QTest>
#include <cmath>
#include <set>
#include <tuple>

using std::vector;

namespace {
// The program on three (or n) entries with a scripted main player; the test runs the ticks.
struct Ticking : testkit::Fixture {
    double now = 12 * 3600; // noon
    explicit Ticking(int entries = 3)
        : Fixture(true)
    {
        start();
        app->playback().timeOfDay = [this] { return now; };
        QStringList rows;
        for (int i = 0; i < entries; ++i)
            rows << QStringLiteral("/m/%1.mp3").arg(char('a' + i));
        fill(rows);
    }
    void tick() { app->playback().Timer1_Timer(); }
};
} // namespace

class TestLogic : public QObject {
    Q_OBJECT
private slots:
    void numberTexts()
    {
        using namespace numtext;
        QCOMPARE(roundHalfEven(12.5), 12LL);
        QCOMPARE(roundHalfEven(-2.5), -2LL);
        QCOMPARE(roundHalfEven(std::nan("")), 0LL);
        QCOMPARE(N(0), QStringLiteral(" 0"));
        QCOMPARE(N(-2), QStringLiteral("-2"));
        const std::pair<double, const char *> fields[]
            = {{0, "00"}, {6.8, "07"}, {10, "10"}, {125, "125"}, {-2, "-02"}};
        for (const auto &[x, text] : fields)
            QCOMPARE(F(x), QString::fromLatin1(text));
        QCOMPARE(hmsText(3725), QStringLiteral("01:02:05"));
        QCOMPARE(toInt16(40000), int16_t(32767));
        QCOMPARE(toInt16(-40000), int16_t(-32768));
    }

    void serialChoice_data()
    {
        QTest::addColumn<QList<int>>("marks");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::newRow("on to the next unplayed") << QList<int>{0, 0, -1, -1, 0} << 2 << 4;
        QTest::newRow("wraps past played") << QList<int>{-1, 0, -1, -1, -1} << 2 << 1;
        QTest::newRow("unplayed last again") << QList<int>{0, -1, 0} << 2 << 2;
        QTest::newRow("no current: from the top") << QList<int>{-1, 0, 0} << -1 << 1;
        QTest::newRow("current past the end") << QList<int>{0, -1, 0} << 7 << 0;
        QTest::newRow("all played") << QList<int>{-1, -1} << 0 << -1;
        QTest::newRow("a damaged mark counts as played") << QList<int>{5, 0} << 0 << 1;
    }
    void serialChoice()
    {
        QFETCH(QList<int>, marks);
        QFETCH(int, current);
        QFETCH(int, next);
        const vector<int16_t> m(marks.begin(), marks.end());
        QCOMPARE(track::chooseNext(m, int(m.size()), current, false, [] { return 0.0; }), next);
    }

    void shuffleChoice()
    {
        track::Random a, b;
        vector<int> first, second;
        const vector<int16_t> marks(10, 0);
        for (int i = 0; i < 50; ++i) {
            first.push_back(track::chooseNext(marks, 10, 0, true, [&] { return a.next(); }));
            second.push_back(track::chooseNext(marks, 10, 0, true, [&] { return b.next(); }));
        }
        QCOMPARE(first, second); // the same choices in every run
        QVERIFY(std::set<int>(first.begin(), first.end()).size() > 5);
        // Draws skip played entries and never leave the list.
        const vector<int16_t> most{-1, -1, -1, 0, -1};
        for (int i = 0; i < 20; ++i)
            QCOMPARE(track::chooseNext(most, 5, 0, true, [&] { return a.next(); }), 3);
        QCOMPARE(track::chooseNext({0, 0}, 2, 0, true, [] { return 0.99; }), 1);
        for (int i = 0; i < 1000; ++i) {
            const double r = a.next();
            QVERIFY(r >= 0 && r < 1);
        }
        QCOMPARE(track::firstUnplayed({-1, -1, 0}, 3), 2);
    }

    void videoFiles()
    {
        for (const char *name : {"clip.avi", "film.mpeg", "picture.jpeg", "a.mp4", "a.m4v", "a.mkv", "a.webm", "a.ogv"})
            QVERIFY2(track::isVideoFile(QString("/f/") + name), name);
        for (const char *name : {"clip.AVI", "film.MPG", "song.mp3", "a.Mp4", "a.ogg", "a.m4a", "a.mkv.txt", "mkv"})
            QVERIFY2(!track::isVideoFile(QString("/f/") + name), name);
    }

    void statusTexts()
    {
        const vector<int16_t> marks(20, 0);
        const status::Texts t = status::statusTexts(20, 4, 0, marks);
        const QString ten(10, ' ');
        QCOMPARE(t.label3, "Τρέχων - Current: 5" + ten + "Όλα - Total: 20" + ten + "Εναπομείναντα - Remaining: 15");
        QCOMPARE(t.form4Label2, QStringLiteral(" 5    :    20    :    15"));
        QCOMPARE(t.form1Caption, QStringLiteral("Μπραστομέρ - Brastomere    [    20%   ]   "));
        QCOMPARE(t.form4Caption, QStringLiteral("Ολοκληρωμένα - Completed   [    20%   ]   "));
        QCOMPARE(t.label6, QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play"));
        // Halves to even (12.5); nothing selected gives a negative percentage.
        QVERIFY(status::statusTexts(8, 1, 0, marks).form1Caption.contains("[    12%"));
        QVERIFY(status::statusTexts(20, -1, 0, marks).form1Caption.contains("[   -5%"));

        // Shuffle counts by the marks.
        vector<int16_t> some(10, 0);
        some[3] = -1;
        const status::Texts s = status::statusTexts(10, 3, -1, some);
        QCOMPARE(s.form4Label2, QStringLiteral(" 2    :    10    :    9"));
        QCOMPARE(s.label6, QStringLiteral("Τυχαία Αναπαραγωγή - Suffle Play"));
        // Another non-zero value counts by marks but names serial play.
        QCOMPARE(status::statusTexts(10, 3, 1, some).label6, QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play"));
    }

    void elapsedDisplays()
    {
        const status::Elapsed e = status::elapsedTexts(3725.4, 10999 + 1, 0, 10, 0);
        QCOMPARE(*e.display, QStringLiteral("01:02:05"));
        QCOMPARE(e.remaining, QStringLiteral("02:01:15"));
        const status::Elapsed early = status::elapsedTexts(0.3, 100, 0, 10, 0);
        QCOMPARE(*early.display, QStringLiteral("00:00:00"));
        QCOMPARE(early.remaining, QStringLiteral("00:01:40"));
        const status::Elapsed pv = status::elapsedTexts(3663.2, 7200, -1, 10, 3660);
        QCOMPARE(*pv.display, QStringLiteral("01:01:03     [10] -07"));
        QCOMPARE(pv.remaining, QStringLiteral("07"));
        QVERIFY(!status::elapsedTexts(50, 100, 3, 10, 0).display);
    }

    void completedRowsTipsAndMessages()
    {
        QCOMPARE(status::completedRow("/a/b/y.avi", 1), QStringLiteral("y.avi =>1"));
        QCOMPARE(status::completedRow("b.mp3", 32760), QStringLiteral("b.mp3 =>32760"));
        QCOMPARE(status::indexOfCompletedRow("odd =>12 name.mp3 =>7"), 7);
        QCOMPARE(status::indexOfCompletedRow("song.mp3 =>-3"), -3);
        QCOMPARE(status::indexOfCompletedRow("song.mp3"), 0);
        const QString tip = status::tipField(QStringLiteral("Velloran"));
        QCOMPARE(tip.size(), 64);
        QCOMPARE(status::shownTip(tip).trimmed(), QStringLiteral("Velloran"));
        QCOMPARE(status::shownTip(status::tipField(QStringLiteral("song =>1") + QChar(u'\0'))),
                 QStringLiteral("song =>1"));
        QCOMPARE(status::shownTip(status::tipField(QString(64, 'n') + QChar(u'\0'))), QString(63, 'n'));
        QCOMPARE(status::openFailedText("/a", true), QStringLiteral("Δεν ανοίγει το αρχείο - Cannot open file: /a"));
        QCOMPARE(status::openFailedText("/a", false), QStringLiteral("Λείπει το αρχείο - Missing file: /a"));
    }

    void places()
    {
        using places::Leave;
        // Left at a second: kept only for a long file, not past its end, never in preview.
        const std::tuple<double, double, bool, Leave> leaving[]
            = {{190, 360, false, Leave::Keep},   {0.5, 360, false, Leave::Nothing}, {1, 360, false, Leave::Keep},
               {360, 360, false, Leave::Forget}, {359.9, 360, false, Leave::Keep},  {100, 299, false, Leave::Forget},
               {100, 0, false, Leave::Forget},   {190, 360, true, Leave::Nothing}};
        for (const auto &[position, length, preview, leave] : leaving)
            QCOMPARE(places::onLeave(position, length, preview), leave);
        // Started: the kept place, unless preview, a short file or one it no longer fits; at
        // a session resume the file's own second wins below the 16-bit limit.
        QCOMPARE(places::startAt(0, 190, 360, false, false), 190.0);
        QCOMPARE(places::startAt(0, 360, 360, false, false), 0.0);
        QCOMPARE(places::startAt(90, 190, 360, true, false), 90.0);
        QCOMPARE(places::startAt(0, 190, 299, false, false), 0.0);
        QCOMPARE(places::startAt(1000, 33600, 34200, false, true), 1000.0);
        QCOMPARE(places::startAt(32767, 33600, 34200, false, true), 33600.0);
        QCOMPARE(places::savedSecond(39.55, 40.05), 39LL); // a pause just short of the end is not the end
    }

    void speedAndSleep()
    {
        QCOMPARE(speed::clamp(0.1), 0.5);
        QCOMPARE(speed::clamp(9), 3.0);
        QCOMPARE(speed::clamp(std::nan("")), 1.0);
        // Steps stay on the grid however often they are taken, and stop at the ends.
        double s = 1.0;
        for (int i = 0; i < 7; ++i)
            s = speed::step(s, +1);
        QCOMPARE(speed::label(s), QStringLiteral("1.35x"));
        QCOMPARE(speed::presetIndex(speed::step(speed::step(s, -1), -1)), 2);
        QCOMPARE(speed::presetIndex(1.1), -1);
        QCOMPARE(speed::step(3.0, +1), 3.0);
        QCOMPARE(speed::step(1.0, -1), 0.95);

        using namespace sleeptimer;
        QVERIFY(!deadlineFor(EndOfFile, 100) && !deadlineFor(Off, 100) && !deadlineFor(kChoices, 100));
        QCOMPARE(*deadlineFor(5, 100), 3700.0);
        QCOMPARE(fileDeadline(10, 30, 60, 1.5), 30.0);
        QCOMPARE(fileDeadline(10, 70, 60, 1.0), 10.0);     // past its end: now
        QVERIFY(std::isinf(fileDeadline(10, 30, 0, 1.0))); // length unknown: no end
        QCOMPARE(fadeShare(100, 80), 1.0);
        QCOMPARE(fadeShare(100, 95), 0.5);
        QVERIFY(fires(100, 100) && !fires(100, 99.9));
        // Half the amplitude is 6 dB down; the end is silence.
        QCOMPARE(fadedVolume(-600, 0.5), -1202);
        QCOMPARE(fadedVolume(-3900, 0.1), -4000);
        QCOMPARE(statusText(3, 100 + 719.5, 100), QStringLiteral("Ύπνος - Sleep 12'"));
        QCOMPARE(statusText(3, 100 + 5, 100), QStringLiteral("Ύπνος - Sleep 1'"));
        QCOMPARE(statusText(EndOfFile, 0, 100), QStringLiteral("Ύπνος - Sleep: τέλος αρχείου - end of file"));
        QCOMPARE(statusText(Off, 0, 100), QString());
    }

    void tickerRests_data()
    {
        using idle::TickState;
        QTest::addColumn<TickState>("state");
        QTest::addColumn<bool>("rests");
        QTest::newRow("stopped") << TickState{} << true;
        QTest::newRow("paused, tip shown")
            << TickState{.mainState = Player::Paused, .entries = 3, .entry = 2, .tipEntry = 2} << true;
        QTest::newRow("playing") << TickState{.mainState = Player::Playing} << false;
        QTest::newRow("film playing") << TickState{.videoState = Player::Playing} << false;
        QTest::newRow("opening") << TickState{.opening = true} << false;
        QTest::newRow("preview") << TickState{.previewOn = true} << false;
        QTest::newRow("sleep timer") << TickState{.sleepArmed = true} << false;
        QTest::newRow("end unsignalled") << TickState{.atEnd = true, .entries = 1} << false;
        QTest::newRow("end signalled") << TickState{.atEnd = true, .endSignalled = true, .entries = 1} << true;
        QTest::newRow("end, no entries") << TickState{.atEnd = true} << true;
        QTest::newRow("tip stale") << TickState{.entries = 3, .entry = 1} << false;
    }
    void tickerRests()
    {
        QFETCH(idle::TickState, state);
        QTEST(idle::mayRest(state), "rests");
    }

    void timeLeft()
    {
        using namespace lengths;
        QCOMPARE(clockText(187.4), QStringLiteral("0:03:07"));
        QCOMPARE(clockText(123 * 3600 + 61), QStringLiteral("123:01:01"));
        QCOMPARE(clockText(-5), QStringLiteral("0:00:00"));
        // 14:02:00 in all, 4:20:55 done: 9:41:05 left, 31 %.
        QCOMPARE(timeLeftText({10, 0, 50520, 15655}, 1.0), QStringLiteral("Υπόλοιπο - Left 9:41:05 / 14:02:00 (31 %)"));
        // Left is clock time at the present speed; the total stays media time.
        QCOMPARE(timeLeftText({2, 0, 7200, 0}, 2.0), QStringLiteral("Υπόλοιπο - Left 1:00:00 / 2:00:00 (0 %)"));
        QCOMPARE(timeLeftText({3, 3, 0, 0}, 1.0),
                 QStringLiteral("Υπόλοιπο - Left 0:00:00 / 0:00:00 (0 %), 3 χωρίς διάρκεια - without length"));
        QCOMPARE(timeLeftText({0, 0, 0, 0}, 1.0), QString());
        QCOMPARE(timeLeftText({1, 0, 60, 0}, 0.0), QStringLiteral("Υπόλοιπο - Left 0:01:00 / 0:01:00 (0 %)"));
        // Played entries whole, the playing one to its position, others to their place,
        // unknown and unreadable ones counted apart; places never pass the length.
        const double nan = std::nan("");
        const Tally t = tally({100, 200, nan, 300, -1, 50, 0}, {-1, -1, 0, 0, 0, 0}, 1, 30, [](int i) {
            return i == 3 ? 120.0 : i == 5 ? 999.0 : 0.0;
        });
        QCOMPARE(t.entries, 7);
        QCOMPARE(t.unknown, 2);
        QCOMPARE(t.total, 650.0);
        QCOMPARE(t.done, 100.0 + 30 + 120 + 50);
        QCOMPARE(tally({10, 20}, {-1}, -1, 0, {}).done, 10.0);
        // A played entry left part-way is done up to its place.
        QCOMPARE(tally({360, 100}, {-1, 0}, -1, 0, [](int i) { return i == 0 ? 190.0 : 0.0; }).done, 190.0);
        QCOMPARE(placeNote(190, 360), QStringLiteral("   3:10 / 6:00"));
        QCOMPARE(placeNote(5, 3700), QStringLiteral("   0:05 / 1:01:40"));
        QCOMPARE(placeNote(0, 360) + placeNote(10, 0), QString());
    }

    void skipsAndChapters()
    {
        using namespace transport;
        QCOMPARE(skipTarget(5, -10, 360), 0.0);
        QCOMPARE(skipTarget(355, 30, 360), 360.0);
        QCOMPARE(skipTarget(100, 60, 360), 160.0);
        const QList<Chapter> book{{0, "Opening"}, {120, "The Storm"}, {240, "Coda"}};
        QCOMPARE(usable(book, 360).size(), 3);
        // Out of order, outside the file, not a number, or alone: a file without chapters.
        const QList<Chapter> damaged[] = {{{0, "a"}, {240, "b"}, {120, "c"}},
                                          {{0, "a"}, {400, "b"}},
                                          {{std::nan(""), "a"}, {100, "b"}},
                                          {{0, "a"}, {0, "b"}},
                                          {{0, "a"}}};
        for (const QList<Chapter> &list : damaged)
            QVERIFY(usable(list, 360).isEmpty());
        QCOMPARE(chapterAt(book, 130), 1);
        QCOMPARE(chapterStep(book, 130, +1), 2);
        QCOMPARE(chapterStep(book, 250, +1), -1);
        QCOMPARE(chapterStep(book, 130, -1), 1); // well into it: its own start
        QCOMPARE(chapterStep(book, 122, -1), 0);
        QCOMPARE(chapterText(book, 1), QStringLiteral("Κεφάλαιο - Chapter 2/3: The Storm"));
        QCOMPARE(resumeText(book, 127),
                 QStringLiteral("Συνέχεια: κεφάλαιο 2 — The Storm - Resuming: chapter 2 — The Storm"));
        QCOMPARE(resumeText({}, 127), QStringLiteral("Συνέχεια από 0:02:07 - Resuming at 0:02:07"));
        QCOMPARE(rewound(127, 3), 124.0);
        QCOMPARE(rewound(2, 3), 0.0);
        QCOMPARE(rewound(0, 10), 0.0);
    }

    void videoWindow()
    {
        using videologic::volumeReachesVideo;
        // Show always; Auto and Hide only while the main player is not in use.
        QVERIFY(volumeReachesVideo(1, true) && volumeReachesVideo(1, false));
        QVERIFY(!volumeReachesVideo(0, true) && volumeReachesVideo(0, false));
        using videologic::fitWindow;
        QCOMPARE(fitWindow({160, 120}, {1280, 800}), QSize(160, 120));
        QCOMPARE(fitWindow({1920, 1080}, {1280, 800}), QSize(1280, 720));
        QCOMPARE(fitWindow({600, 1600}, {1280, 800}), QSize(300, 800));
        QCOMPARE(fitWindow({1280, 900}, {1280, 800}).width(), 1137); // floored, never past the screen
        QVERIFY(!fitWindow({0, 0}, {1280, 800}).isValid());
        QCOMPARE(fitWindow({640, 480}, {}), QSize(640, 480));

        // Track names, and a kept choice only where the file still has that track.
        const std::vector<filmlogic::Track> tracks{{1, "audio", "eng", "", false, true},
                                                   {2, "audio", "", " ", false, false},
                                                   {1, "sub", "ell", "Σχόλια", true, false}};
        QCOMPARE(filmlogic::caption(tracks[0]), QStringLiteral("1: eng"));
        QCOMPARE(filmlogic::caption(tracks[1]), QStringLiteral("2"));
        QCOMPARE(filmlogic::caption(tracks[2]), QStringLiteral("1: ell — Σχόλια"));
        QCOMPARE(filmlogic::restorable("2", "audio", tracks), QStringLiteral("2"));
        QCOMPARE(filmlogic::restorable("no", "sub", tracks), QStringLiteral("no"));
        for (const char *gone : {"3", "no", "", "x"})
            QCOMPARE(filmlogic::restorable(gone, "audio", tracks), QString());
        QCOMPARE(filmlogic::restorable("2", "sub", tracks), QString());
    }

    void mediaControlAndAutostart()
    {
        QCOMPARE(mpris::addressWithoutAutolaunch("unix:path=/x", "/r", 7), QByteArray());
        QCOMPARE(mpris::addressWithoutAutolaunch("", "/r", 7), QByteArray("unix:path=/r/bus"));
        QCOMPARE(mpris::addressWithoutAutolaunch("", "", 7), QByteArray("unix:path=/run/user/7/bus"));
        QVERIFY(!mpris::reachable("") && !mpris::reachable("autolaunch:"));
        QVERIFY(!mpris::reachable("unix:path=/nonexistent/bus,guid=1"));
        QVERIFY(mpris::reachable("unix:path=/,guid=1") && mpris::reachable("unix:abstract=/tmp/dbus-x"));
        QCOMPARE(mpris::volumeFromScroll(-1000), 0.75);
        QCOMPARE(mpris::scrollFromVolume(7.0), 0);
        QCOMPARE(mpris::scrollFromVolume(-1.0), -4000);
        QCOMPARE(mpris::scrollFromVolume(qQNaN()), -4000);

        using autostart::quoteExecArg;
        QCOMPARE(quoteExecArg("/opt/velloran/velloran"), QStringLiteral("/opt/velloran/velloran"));
        QCOMPARE(quoteExecArg("/a/$x`y\"z\\w"), QStringLiteral("\"/a/\\$x\\`y\\\"z\\\\w\""));
        QCOMPARE(quoteExecArg("/a/100%/v"), QStringLiteral("/a/100%%/v"));
        QCOMPARE(quoteExecArg(""), QStringLiteral("\"\""));
        QVERIFY(autostart::entryText("/r/", "v", {}).contains("\nExec=/r/v\n"));
        QVERIFY(autostart::entryText("/r", "v", {}).contains("\nExec=/r/v\n"));
        QVERIFY(!autostart::entryText("/r/", "v", {}).contains("Path="));
    }

    void tickerWritesElapsedAndTip()
    {
        Ticking t;
        t.player->duration = 3 * 3600 + 3 * 60 + 20;
        t.player->position = 3600 + 2 * 60 + 5.4;
        t.tick();
        QCOMPARE(t.form().Text1[6]->text(), QStringLiteral("01:02:05"));
        // While a file plays the tip shows its time left, counting down.
        QVERIFY(status::shownTip(t.app->shell().trayTip()).startsWith("02:01:15 - "));
        QCOMPARE(t.app->m.mins, int16_t(2));
        QCOMPARE(t.app->m.secs, int16_t(5));
        t.player->position += 5;
        t.now += 1;
        t.tick();
        QVERIFY(status::shownTip(t.app->shell().trayTip()).startsWith("02:01:10 - "));
        t.app->m.lastIndex = 1; // a new entry: the tip is written on this tick
        t.tick();
        QCOMPARE(status::shownTip(t.app->shell().trayTip()), QStringLiteral("02:01:10 - b.mp3 =>1"));
        QCOMPARE(t.player->opens, quint64(1)); // nothing ended
    }

    void tickerPreviewEndsByClockOrPosition()
    {
        Ticking t(6);
        t.app->m.previewOn = kOn;
        t.player->duration = 400;
        t.player->position = 100; // the preview of a 400 s file starts at 100
        // previewClock is 0 until the first end: at noon the clock test holds at once.
        t.tick();
        QCOMPARE(t.player->opens, quint64(2));
        // The next preview ends by the clock previewSecs after that end, not before...
        t.player->position = 100;
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

    void joinNamesTheNextFileWithoutDrawing()
    {
        // In shuffle the file named near each end is the one the end starts, and naming it
        // draws nothing: the order is the one played without looking ahead.
        QStringList order[2];
        for (const bool ahead : {false, true}) {
            Ticking t(6);
            t.app->playback().mnumorerandom_Click();
            t.player->duration = 60;
            t.player->Play();
            for (int i = 0; i < 5; ++i) {
                t.player->position = 57;
                const QString next = ahead ? t.app->playback().joinCandidate() : QString();
                if (ahead)
                    t.tick();
                t.player->position = 60;
                t.tick();
                QVERIFY(!ahead || next == t.player->file);
                order[ahead] << t.player->file;
            }
            t.app->m.previewOn = kOn;
            t.player->position = 57;
            QCOMPARE(t.app->playback().joinCandidate(), QString()); // a preview keeps its road
        }
        QCOMPARE(order[0], order[1]);
    }

    void tickerEndsOnceAndNeverOnAnEmptyList()
    {
        // Every file plays to its end at once; replay None: three files, one message, and a
        // last file left standing at its end is not ended again on later ticks.
        for (int entries : {3, 0}) {
            Ticking t(entries);
            t.player->duration = 5;
            for (int i = 0; i < 8; ++i) {
                t.player->position = t.player->duration;
                t.tick();
            }
            QCOMPARE(t.player->opens, quint64(1 + entries));
            QCOMPARE(t.dialogs.messages.size(), size_t(entries ? 1 : 0));
        }
    }
};

QTEST_MAIN(TestLogic)
#include "test_logic.moc"
