// Faults: a save cut short by the file size limit, a session file that cannot be written,
// positions past the 16-bit range, broken media in the playlist, a file truncated while it
// plays.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"
#include <QAction>
#include <QPushButton>
#include <QRadioButton>

#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

using Scripted = testkit::ScriptedMain;

QByteArray sessionOf(const QString &folder, const QStringList &entries, int16_t last, int16_t pos)
{
    state::Snapshot s;
    s.drive = "/";
    s.folder = folder;
    s.entries = entries;
    s.lastIndex = last;
    s.resumePos = pos;
    s.currentEntry = entries.value(last);
    return state::encode(s);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void aSaveCutShortByTheFileSizeLimitLeavesThePreviousSession()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        QStringList entries;
        for (int i = 0; i < 50; ++i)
            entries << QStringLiteral("/x/%1.mp3").arg(i);
        const QByteArray before = sessionOf(cwd.path(), entries.mid(0, 3), 1, 30);
        writeAll(cwd.file("velloran.txt"), before);
        Scripted s;
        App app(s.options());
        app.Form_Load();
        std::vector<QString> rows(entries.begin(), entries.end());
        app.form1().List2->setItems(std::move(rows));
        app.playback().resetMarksToPlaylist();

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
        QCOMPARE(readAll(cwd.file("velloran.txt")).size(), before.size());
        QCOMPARE(readAll(cwd.file("velloran.txt")), before);
        const QStringList left = QDir(cwd.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList{"velloran.txt"}); // no half-written temporary file left

        // Without the limit the same save goes through.
        app.session().SaveState();
        QCOMPARE(state::Records(readAll(cwd.file("velloran.txt"))).recordCount(), 16 + 2 * 49);
    }

    void aSessionFileThatCannotBeWrittenIsRestoredFromTheDatabase()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        Scripted s;
        const QStringList entries{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
        writeAll(cwd.file("velloran.txt"), sessionOf(cwd.path(), entries, 0, 0));
        {
            App app(s.options());
            app.Form_Load();
            app.playback().setList2Index(2);
            app.playback().decide_video();
            s.player->position = 77;
            // Something stands where the file goes: its rename can only fail.
            QVERIFY(QFile::remove(cwd.file("velloran.txt")));
            QVERIFY(QDir(cwd.path()).mkdir("velloran.txt"));
            QTest::qWait(20);
            app.session().SaveState();
        }
        App app(s.options());
        app.Form_Load();
        QCOMPARE(app.m.currentFile, QStringLiteral("/x/3.mp3"));
        QCOMPARE(app.m.resumePos, int16_t(77));
        QVERIFY(app.form1().Text2->text().contains("restored from its recovery copy"));
    }

    void positionsPastTheSixteenBitRangeAreKeptAsTheFurthest()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        Scripted s;
        writeAll(cwd.file("velloran.txt"), sessionOf(cwd.path(), {"/x/long.mp3"}, 0, 0));
        QTest::qWait(20);
        {
            App app(s.options());
            app.Form_Load();
            s.player->position = 40000.4; // 11:06:40
            app.session().writeRecovery();
        }
        App app(s.options());
        app.Form_Load();
        QCOMPARE(app.m.resumePos, int16_t(32767));
        s.player->position = 32767.6;
        app.session().SaveState();
        QCOMPARE(state::Records(readAll(cwd.file("velloran.txt"))).readInt(4), int16_t(32767));
    }

    void brokenMediaAreGoneThroughToTheEnd()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString good = testkit::makeMedia(cwd.path(), "good.wav", "wav", 1);
        const QString mp3 = testkit::makeMedia(cwd.path(), "whole.mp3", "mp3", 3);
        QVERIFY(!good.isEmpty() && !mp3.isEmpty());
        writeAll(cwd.file("empty.mp3"), {});
        writeAll(cwd.file("text.avi"), "this is not a film\n");
        writeAll(cwd.file("cut.mp3"), readAll(mp3).left(1500));
        const QStringList files{cwd.file("empty.mp3"), cwd.file("text.avi"), cwd.file("cut.mp3"), good};
        App app({testkit::headless()});
        app.Form_Load();
        app.form1().List2->setItems(std::vector<QString>(files.begin(), files.end()));
        app.playback().resetMarksToPlaylist();
        std::vector<QString> started;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] {
            const QString f = app.mainPlayer().FileName();
            if (!f.isEmpty() && (started.empty() || started.back() != f))
                started.push_back(f);
        });
        app.playback().Command3_Click();
        // Every file is tried once and the run ends with the usual message.
        QVERIFY(testkit::waitFor([&] { return !dialogs.messages.empty(); }, 30000));
        QVERIFY(std::find(started.begin(), started.end(), good) != started.end());
        QCOMPARE(dialogs.messages.size(), size_t(1));
    }

    void aFileTruncatedWhileItPlaysEndsAndTheNextPlays()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString a = testkit::makeMedia(cwd.path(), "a.wav", "wav", 120);
        const QString b = testkit::makeMedia(cwd.path(), "b.wav", "wav", 1);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        App app({testkit::headless()});
        app.Form_Load();
        app.form1().List2->setItems({a, b});
        app.playback().resetMarksToPlaylist();
        app.playback().Command3_Click();
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().CurrentPosition() > 0.5; }, 10000));
        QVERIFY(QFile::resize(a, 0));
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().FileName() == b; }, 25000));
        QVERIFY(testkit::waitFor([&] { return !dialogs.messages.empty(); }, 15000));
    }

    void aFolderRemovedAfterItWasListedIsPassedOver()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString root = cwd.file("music");
        for (const char *sub : {"a", "b", "c"}) {
            QVERIFY(QDir().mkpath(root + "/" + sub));
            writeAll(QStringLiteral("%1/%2/%2.mp3").arg(root, sub), "x");
        }
        Scripted s;
        App app(s.options());
        app.Form_Load();
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
        QCOMPARE(state::Records(readAll(cwd.file("velloran.txt"))).recordCount(), 18);
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
