// Faults: a save cut short by the file size limit, a session file that cannot be written,
// positions past the 16-bit range, broken media in the playlist, a file truncated while it
// plays.

#include "app/session.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
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
        const QStringList left = QDir(fx.cwd.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList{"velloran.txt"}); // no half-written temporary file left

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

    void positionsPastTheSixteenBitRangeAreKeptAsTheFurthest()
    {
        testkit::Fixture fx(true);
        testkit::writeSession(fx.cwd.path(), {{"/x/long.mp3"}, 0});
        QTest::qWait(20); // the recovery copy must be newer than the session file
        fx.start();
        fx.player->position = 40000.4; // 11:06:40
        fx.app->session().writeRecovery();
        App &app = fx.start();
        QCOMPARE(app.m.resumePos, int16_t(32767));
        fx.player->position = 32767.6;
        app.session().SaveState();
        QCOMPARE(fx.saved().readInt(4), int16_t(32767));
    }

    void brokenMediaAreGoneThroughToTheEnd()
    {
        testkit::Fixture fx;
        const QString good = testkit::makeMedia(fx.cwd.path(), "good.wav", "wav", 1);
        const QString mp3 = testkit::makeMedia(fx.cwd.path(), "whole.mp3", "mp3", 3);
        QVERIFY(!good.isEmpty() && !mp3.isEmpty());
        writeAll(fx.cwd.file("empty.mp3"), {});
        writeAll(fx.cwd.file("text.avi"), "this is not a film\n");
        writeAll(fx.cwd.file("cut.mp3"), testkit::readAll(mp3).left(1500));
        const QStringList files{fx.cwd.file("empty.mp3"), fx.cwd.file("text.avi"), fx.cwd.file("cut.mp3"), good};
        App &app = fx.start();
        fx.fill(files);
        std::vector<QString> started;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] {
            const QString f = app.mainPlayer().FileName();
            if (!f.isEmpty() && (started.empty() || started.back() != f))
                started.push_back(f);
        });
        app.playback().Command3_Click();
        // Every file is tried once and the run ends with the usual message.
        QVERIFY(testkit::waitFor([&] { return !fx.dialogs.messages.empty(); }, 30000));
        QVERIFY(std::find(started.begin(), started.end(), good) != started.end());
        QCOMPARE(fx.dialogs.messages.size(), size_t(1));
    }

    void aFileTruncatedWhileItPlaysEndsAndTheNextPlays()
    {
        testkit::Fixture fx;
        const QString a = testkit::makeMedia(fx.cwd.path(), "a.wav", "wav", 120);
        const QString b = testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 1);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        App &app = fx.start();
        fx.fill({a, b});
        app.playback().Command3_Click();
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().CurrentPosition() > 0.5; }, 10000));
        QVERIFY(QFile::resize(a, 0));
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().FileName() == b; }, 25000));
        QVERIFY(testkit::waitFor([&] { return !fx.dialogs.messages.empty(); }, 15000));
    }

    void aFolderRemovedAfterItWasListedIsPassedOver()
    {
        testkit::Fixture fx(true);
        const QString root = fx.cwd.file("music");
        for (const char *sub : {"a", "b", "c"}) {
            QVERIFY(QDir().mkpath(root + "/" + sub));
            writeAll(QStringLiteral("%1/%2/%2.mp3").arg(root, sub), "x");
        }
        App &app = fx.start();
        QVERIFY(app.playlist().setDirPath(root));
        app.form1().mnumoresub->trigger();
        QVERIFY(app.form1().List1->count() >= 3);
        QVERIFY(QDir(root + "/b").removeRecursively());
        app.form1().Option1[1]->setChecked(true);
        app.form1().Command4->click();
        const ListBox &list = *app.form1().List2;
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.text(0), root + "/a/a.mp3");
        QCOMPARE(list.text(1), root + "/c/c.mp3");

        // The listed folder itself gone: Add finds nothing and the playlist stays.
        QVERIFY(QDir(root).removeRecursively());
        app.form1().Command4->click();
        app.playlist().Dir1_change();
        QCOMPARE(list.count(), 2);
        app.session().SaveState();
        QCOMPARE(fx.saved().recordCount(), 18);
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
