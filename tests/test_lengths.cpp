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
    // Real files on the real program: the exact text once the lengths are in.
    void completedWindowText()
    {
        testkit::Fixture fx;
        const QString mp3 = testkit::makeMedia(fx.cwd.path(), "a.mp3", "mp3", 3);
        const QString wav = testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 4);
        const QString mkv = testkit::makeMedia(fx.cwd.path(), "c.mkv", "mkv", 5);
        QVERIFY(!mp3.isEmpty() && !wav.isEmpty() && !mkv.isEmpty());
        const QString junk = fx.cwd.file("junk.mp3");
        QFile j(junk);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write(QByteArray(4096, 'x'));
        j.close();
        const QString fifo = fx.cwd.file("pipe.mp3");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

        App app({testkit::headless(), {}});
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
        testkit::Fixture fx;
        QProcess ff;
        ff.start("ffmpeg",
                 {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=duration=3", "-c:a", "mp2", "-f", "mpegts",
                  fx.cwd.file("t.ts")});
        QVERIFY(ff.waitForFinished(60000) && ff.exitCode() == 0);
        QVERIFY(std::abs(readMediaLength(QFile::encodeName(fx.cwd.file("t.ts"))) - 3) < 0.2);
        QFile txt(fx.cwd.file("notes.txt"));
        QVERIFY(txt.open(QIODevice::WriteOnly) && txt.write("just words\n") > 0);
        txt.close();
        QCOMPARE(readMediaLength(QFile::encodeName(fx.cwd.file("notes.txt"))), -1.0);
    }

    void cacheSparesSecondRead()
    {
        testkit::Fixture fx;
        const QString a = testkit::makeMedia(fx.cwd.path(), "a.mp3", "mp3", 2);
        // A Latin-1 name that is not UTF-8: opened by its own bytes.
        const QByteArray oddBytes = QFile::encodeName(fx.cwd.path()) + "/caf\xe9.wav";
        QVERIFY(!testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 3).isEmpty());
        QCOMPARE(::rename(QFile::encodeName(fx.cwd.file("b.wav")).constData(), oddBytes.constData()), 0);
        const QString b = fsname::decode(oddBytes);
        QVERIFY(b.contains(QChar(0xDCE9)));

        StateDb db(fx.cwd.file("state.sqlite"), fx.cwd.path() + "/");
        QVERIFY(db.open());
        auto run = [&](LengthCache &c) {
            c.setPaths({a, b, fx.cwd.file("missing.mp3")});
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
