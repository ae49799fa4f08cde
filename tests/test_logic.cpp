// Pure playback decisions: next entry, status texts, elapsed display, completed rows, tips.

#include "playback/status_logic.h"
#include "playback/track_logic.h"

#include <QTest>
#include <set>

using std::vector;

namespace {
auto never = [] { return 0.0; };
}

class TestLogic : public QObject {
    Q_OBJECT
private slots:
    void serialChoice()
    {
        // Entries 0-4, 2 current, 2 and 3 played: 4.
        QCOMPARE(track::chooseNext({0, 0, -1, -1, 0}, 5, 2, false, never), 4);
        // 2, 3 and 4 played: wraps round to 0.
        QCOMPARE(track::chooseNext({0, 0, -1, -1, -1}, 5, 2, false, never), 0);
        QCOMPARE(track::chooseNext({-1, 0, -1, -1, -1}, 5, 2, false, never), 1);
        // An unplayed current entry is chosen again.
        QCOMPARE(track::chooseNext({0, 0, 0}, 3, 1, false, never), 1);
        // No current entry: from the top.
        QCOMPARE(track::chooseNext({-1, 0, 0}, 3, -1, false, never), 1);
        // Everything played: no choice.
        QCOMPARE(track::chooseNext({-1, -1}, 2, 0, false, never), -1);
        QCOMPARE(track::firstUnplayed({-1, -1, 0}, 3), 2);
        // A damaged mark value counts as played and cannot trap the loop.
        QCOMPARE(track::chooseNext({5, 0}, 2, 0, false, never), 1);
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
        for (int i = 0; i < 20; ++i)
            QCOMPARE(track::chooseNext({0}, 1, -1, true, [&] { return a.next(); }), 0);
        // Draws skip played entries.
        const vector<int16_t> most{-1, -1, -1, 0, -1};
        for (int i = 0; i < 20; ++i)
            QCOMPARE(track::chooseNext(most, 5, 0, true, [&] { return a.next(); }), 3);
        for (int i = 0; i < 1000; ++i) {
            const double r = a.next();
            QVERIFY(r >= 0 && r < 1);
        }
    }

    void videoExtensions()
    {
        QVERIFY(track::isVideoFile("/f/clip.avi"));
        QVERIFY(!track::isVideoFile("/f/clip.AVI"));
        QVERIFY(track::isVideoFile("/f/film.mpeg"));
        QVERIFY(track::isVideoFile("/f/picture.jpeg"));
        QVERIFY(!track::isVideoFile("/f/film.MPG"));
        QVERIFY(!track::isVideoFile("/f/song.mp3"));
    }

    void statusTextsSerial()
    {
        const vector<int16_t> marks(20, 0);
        const status::Texts t = status::statusTexts(20, 4, 0, marks);
        const QString ten(10, ' ');
        QCOMPARE(t.label3, "Τρέχων - Current: 5" + ten + "Όλα - Total: 20" + ten + "Εναπομείναντα - Remaining: 15");
        QCOMPARE(t.form4Label2, QStringLiteral(" 5    :    20    :    15"));
        QCOMPARE(t.form1Caption, QStringLiteral("Μπραστομέρ - Brastomere    [    20%   ]   "));
        QCOMPARE(t.form4Caption, QStringLiteral("Ολοκληρωμένα - Completed   [    20%   ]   "));
        QCOMPARE(t.label6, QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play"));
        // Halves to even: 12.5, 37.5, 62.5.
        QVERIFY(status::statusTexts(8, 1, 0, marks).form1Caption.contains("[    12%"));
        QVERIFY(status::statusTexts(8, 3, 0, marks).form1Caption.contains("[    38%"));
        QVERIFY(status::statusTexts(8, 5, 0, marks).form1Caption.contains("[    62%"));
        // Nothing selected: a negative percentage.
        QVERIFY(status::statusTexts(20, -1, 0, marks).form1Caption.contains("[   -5%"));
        const status::Texts empty = status::statusTexts(0, -1, 0, {0});
        QVERIFY(empty.label3.startsWith("Τρέχων - Current: 0"));
        QVERIFY(empty.label3.endsWith("Remaining: 0"));
    }

    void statusTextsShuffle()
    {
        vector<int16_t> marks(10, 0);
        marks[3] = -1;
        const status::Texts t = status::statusTexts(10, 3, -1, marks);
        QCOMPARE(t.form4Label2, QStringLiteral(" 2    :    10    :    9"));
        QVERIFY(t.form1Caption.contains("[    10%"));
        QCOMPARE(t.label6, QStringLiteral("Τυχαία Αναπαραγωγή - Suffle Play"));
        const status::Texts empty = status::statusTexts(0, -1, -1, {0});
        QCOMPARE(empty.form4Label2, QStringLiteral(" 1    :    0    :    0"));
        // Another non-zero value counts by marks but names serial play.
        QCOMPARE(status::statusTexts(10, 3, 1, marks).label6, QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play"));
        const vector<int16_t> all(4, -1);
        QVERIFY(status::statusTexts(4, 0, -1, all).form1Caption.contains("[    100%"));
    }

    void elapsedDisplays()
    {
        const status::Elapsed e = status::elapsedTexts(3725.4, 10999 + 1, 0, 10, 0);
        QCOMPARE(*e.display, QStringLiteral("01:02:05"));
        QCOMPARE(e.remaining, QStringLiteral("02:01:15"));
        const status::Elapsed early = status::elapsedTexts(0.3, 100, 0, 10, 0);
        QCOMPARE(*early.display, QStringLiteral("00:00:00"));
        QVERIFY(early.remaining.isEmpty());
        const status::Elapsed pv = status::elapsedTexts(3663.2, 7200, -1, 10, 3660);
        QCOMPARE(*pv.display, QStringLiteral("01:01:03     [10] -07"));
        QCOMPARE(pv.remaining, QStringLiteral("07"));
        QVERIFY(!status::elapsedTexts(50, 100, 3, 10, 0).display);
    }

    void completedRowsAndTips()
    {
        QCOMPARE(status::completedRow("/a/x.mp3", 0), QStringLiteral("x.mp3 =>0"));
        QCOMPARE(status::completedRow("/a/b/y.avi", 1), QStringLiteral("y.avi =>1"));
        QCOMPARE(status::indexOfCompletedRow("odd =>12 name.mp3 =>7"), 7);
        QCOMPARE(status::indexOfCompletedRow("song.mp3 =>12"), 12);
        const QString tip = status::tipField(QStringLiteral("Velloran"));
        QCOMPARE(tip.size(), 64);
        QCOMPARE(status::shownTip(tip).trimmed(), QStringLiteral("Velloran"));
        const QString withNul = status::tipField(QStringLiteral("song =>1") + QChar(u'\0'));
        QCOMPARE(status::shownTip(withNul), QStringLiteral("song =>1"));
        const QString longName(70, 'n');
        QCOMPARE(status::shownTip(status::tipField(longName + QChar(u'\0'))), QString(64, 'n'));
    }
};

QTEST_APPLESS_MAIN(TestLogic)
#include "test_logic.moc"
