// Time left for the whole playlist: the text, the lengths read from real files, and the
// cache that spares a second read.

#include "base/fsname.h"
#include "playback/length_cache.h"
#include "playback/length_reader.h"
#include "playback/lengths.h"
#include "playback/lengths_logic.h"
#include "playback/playback.h"
#include "state/state_db.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace lengths;

class TestLengths : public QObject {
    Q_OBJECT
private slots:
    void texts()
    {
        QCOMPARE(clockText(0), QStringLiteral("0:00:00"));
        QCOMPARE(clockText(187.4), QStringLiteral("0:03:07"));
        QCOMPARE(clockText(3599.6), QStringLiteral("1:00:00"));
        QCOMPARE(clockText(36000), QStringLiteral("10:00:00"));
        QCOMPARE(clockText(123 * 3600 + 61), QStringLiteral("123:01:01"));
        QCOMPARE(clockText(-5), QStringLiteral("0:00:00"));

        // 14:02:00 in all, 4:20:55 done: 9:41:05 left, 31 %.
        Tally t{10, 0, 50520, 15655};
        QCOMPARE(timeLeftText(t, 1.0), QStringLiteral("Υπόλοιπο - Left 9:41:05 / 14:02:00 (31 %)"));
        // Left is clock time at the present speed; the total stays media time.
        QCOMPARE(timeLeftText({2, 0, 7200, 0}, 2.0), QStringLiteral("Υπόλοιπο - Left 1:00:00 / 2:00:00 (0 %)"));
        QCOMPARE(timeLeftText({3, 3, 0, 0}, 1.0),
                 QStringLiteral("Υπόλοιπο - Left 0:00:00 / 0:00:00 (0 %), 3 χωρίς διάρκεια - without length"));
        QCOMPARE(timeLeftText({0, 0, 0, 0}, 1.0), QString());
        QCOMPARE(timeLeftText({1, 0, 60, 0}, 0.0), QStringLiteral("Υπόλοιπο - Left 0:01:00 / 0:01:00 (0 %)"));
    }

    void tallies()
    {
        const double nan = std::nan("");
        // Played entries whole, the playing one to its position, others to their place,
        // unknown and unreadable ones counted apart; places never pass the length.
        const std::vector<double> len{100, 200, nan, 300, -1, 50};
        const std::vector<int16_t> marks{-1, -1, 0, 0, 0, 0};
        const Tally t = tally(len, marks, 1, 30, [](int i) { return i == 3 ? 120.0 : i == 5 ? 999.0 : 0.0; });
        QCOMPARE(t.entries, 6);
        QCOMPARE(t.unknown, 2);
        QCOMPARE(t.total, 650.0);
        QCOMPARE(t.done, 100.0 + 30 + 120 + 50);
        // No place lookup, marks shorter than the list.
        const Tally u = tally({10, 20}, {-1}, -1, 0, {});
        QCOMPARE(u.done, 10.0);
    }

    // Real files on the real program: the exact text once the lengths are in.
    void completedWindowText()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString mp3 = testkit::makeMedia(cwd.path(), "a.mp3", "mp3", 3);
        const QString wav = testkit::makeMedia(cwd.path(), "b.wav", "wav", 4);
        const QString mkv = testkit::makeMedia(cwd.path(), "c.mkv", "mkv", 5);
        QVERIFY(!mp3.isEmpty() && !wav.isEmpty() && !mkv.isEmpty());
        const QString junk = cwd.file("junk.mp3");
        QFile j(junk);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write(QByteArray(4096, 'x'));
        j.close();
        const QString fifo = cwd.file("pipe.mp3");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

        App app({testkit::headless()});
        app.form1().List2->setItems({mp3, wav, mkv, junk, fifo});
        app.playback().resetMarksToPlaylist();
        app.playback().put_form4();
        // The first lookup waits for start-up to be over.
        QVERIFY(testkit::waitFor(
            [&] { return app.lengths().cache().lengthOf().size() == 5 && app.lengths().cache().complete(); }, 15000));
        app.m.playedMarks[0] = kOn;
        app.lengths().refresh();
        QCOMPARE(app.form4().Label4->text(),
                 QStringLiteral("Υπόλοιπο - Left 0:00:09 / 0:00:12 (25 %), 2 χωρίς διάρκεια - without length"));

        // A saved place and the speed.
        app.lengths().placeOf = [&](const QString &p) { return p == wav ? 2.0 : 0.0; };
        app.m.playSpeed = 1.5;
        app.lengths().refresh();
        QCOMPARE(app.form4().Label4->text(),
                 QStringLiteral("Υπόλοιπο - Left 0:00:05 / 0:00:12 (42 %), 2 χωρίς διάρκεια - without length"));
    }

    // A transport stream states no length until its streams are probed; a text file is no media.
    void probedContainers()
    {
        testkit::ScratchCwd cwd;
        QProcess ff;
        ff.start("ffmpeg",
                 {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=duration=3", "-c:a", "mp2", "-f", "mpegts",
                  cwd.file("t.ts")});
        QVERIFY(ff.waitForFinished(60000) && ff.exitCode() == 0);
        QVERIFY(std::abs(readMediaLength(QFile::encodeName(cwd.file("t.ts"))) - 3) < 0.2);
        QFile txt(cwd.file("notes.txt"));
        QVERIFY(txt.open(QIODevice::WriteOnly) && txt.write("just words\n") > 0);
        txt.close();
        QCOMPARE(readMediaLength(QFile::encodeName(cwd.file("notes.txt"))), -1.0);
    }

    void cacheSparesSecondRead()
    {
        testkit::ScratchCwd cwd;
        const QString a = testkit::makeMedia(cwd.path(), "a.mp3", "mp3", 2);
        // A Latin-1 name that is not UTF-8: opened by its own bytes.
        const QByteArray oddBytes = QFile::encodeName(cwd.path()) + "/caf\xe9.wav";
        QVERIFY(!testkit::makeMedia(cwd.path(), "b.wav", "wav", 3).isEmpty());
        QCOMPARE(::rename(QFile::encodeName(cwd.file("b.wav")).constData(), oddBytes.constData()), 0);
        const QString b = fsname::decode(oddBytes);
        QVERIFY(b.contains(QChar(0xDCE9)));

        StateDb db(cwd.file("state.sqlite"), cwd.path() + "/");
        QVERIFY(db.open());
        auto run = [&](LengthCache &c) {
            c.setPaths({a, b, cwd.file("missing.mp3")});
            return testkit::waitFor([&] { return c.complete(); }, 15000);
        };
        {
            LengthCache first;
            first.setConnection(db.connectionName());
            QVERIFY(run(first));
            QCOMPARE(first.filesRead(), 2); // a missing file is not opened
            QVERIFY(std::abs(first.lengthOf()[0] - 2) < 0.1);
            QVERIFY(std::abs(first.lengthOf()[1] - 3) < 0.1);
            QCOMPARE(first.lengthOf()[2], -1.0);
        }
        LengthCache again;
        again.setConnection(db.connectionName());
        QVERIFY(run(again));
        QCOMPARE(again.filesRead(), 0);
        QVERIFY(std::abs(again.lengthOf()[1] - 3) < 0.1);

        // A changed modification time is read again, the other file not.
        const QByteArray ab = QFile::encodeName(a);
        struct stat st { };
        QCOMPARE(::stat(ab.constData(), &st), 0);
        const utimbuf later{st.st_atime, st.st_mtime + 10};
        QCOMPARE(::utime(ab.constData(), &later), 0);
        QVERIFY(run(again));
        QCOMPARE(again.filesRead(), 1);

        // Without a database every run reads.
        LengthCache bare;
        QVERIFY(run(bare));
        QCOMPARE(bare.filesRead(), 2);
        ::unlink(oddBytes.constData()); // the temporary folder cannot remove it by a QString
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestLengths t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_lengths.moc"
