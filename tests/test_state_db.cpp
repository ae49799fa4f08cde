// The state database: what a new snapshot makes stale, the crash-loop count, writes that
// touch only what changed, folders kept apart, a damaged file set aside, and a run that
// ends without saving being taken up by the next start.

#include "app/app.h"
#include "playback/playback.h"
#include "session/session.h"
#include "session/state_db.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>

namespace {

state::Snapshot sample(int entries)
{
    state::Snapshot s;
    s.drive = "/";
    s.folder = "/music";
    s.lastIndex = 1;
    s.resumePos = 75;
    s.volume = -300;
    s.replayMode = 2;
    s.videoMode = -1;
    for (int i = 0; i < entries; ++i)
        s.entries.append(QStringLiteral("/music/ένα %1.mp3").arg(i));
    if (entries > 2) // names go in as bound values, never as SQL text
        s.entries[2] = QStringLiteral("/music/it's'); DROP TABLE entries; --.mp3");
    s.currentEntry = s.entries.value(1);
    s.playedMarks.assign(size_t(entries), 0);
    if (entries > 0)
        s.playedMarks[0] = -1;
    return s;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestStateDb : public QObject {
    Q_OBJECT
private slots:
    void changesNameOnlyThePartsThatMoved()
    {
        const state::Snapshot a = sample(4);
        QVERIFY(statedb::changes(nullptr, a).place && statedb::changes(nullptr, a).entries);
        QVERIFY(!statedb::changes(&a, a).any());

        state::Snapshot b = a;
        b.resumePos = 76;
        auto c = statedb::changes(&a, b);
        QVERIFY(c.place && !c.settings && !c.marks && !c.entries);

        b = a;
        b.playedMarks[3] = -1;
        c = statedb::changes(&a, b);
        QVERIFY(!c.place && c.marks && !c.entries);
        // Marks past the playlist's end are not in the file and change nothing.
        b = a;
        b.playedMarks.push_back(-1);
        QVERIFY(!statedb::changes(&a, b).any());

        b = a;
        b.entries[2] = "/music/other.mp3";
        c = statedb::changes(&a, b);
        QVERIFY(c.entries && !c.marks && !c.settings);
        b.entries.removeLast();
        QVERIFY(statedb::changes(&a, b).marks);

        b = a;
        b.shuffleOn = -1;
        QVERIFY(statedb::changes(&a, b).settings);
    }

    void uncleanEndsAreCountedPerEntry()
    {
        statedb::Guard g = statedb::afterUncleanEnd({}, "/a.mp3");
        QCOMPARE(g.runs, 1);
        QVERIFY(!statedb::skipEntry(g));
        g = statedb::afterUncleanEnd(g, "/a.mp3");
        QVERIFY(statedb::skipEntry(g));
        g = statedb::afterUncleanEnd(g, "/b.mp3");
        QCOMPARE(g.runs, 1);
        QVERIFY(!statedb::skipEntry(statedb::afterUncleanEnd({"", 5}, "")));
        QCOMPARE(statedb::setAsideName("/s/state.sqlite", QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
                 QStringLiteral("/s/state.sqlite.damaged-20260304-050607"));
    }

    void writesTouchOnlyWhatChangedAndFoldersKeepApart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("deep/er/state.sqlite");
        state::Snapshot s = sample(1000);
        {
            StateDb db(path, "/one/");
            QVERIFY(db.open());
            QVERIFY(!db.load());
            QVERIFY(db.beginRun({}));
            QVERIFY(db.write(s, 1000));
            QCOMPARE(db.lastRowsWritten(), 1002);
            s.resumePos = 80;
            QVERIFY(db.write(s, 2000));
            QCOMPARE(db.lastRowsWritten(), 1); // the place row alone
            QVERIFY(db.write(s, 3000));
            QCOMPARE(db.lastRowsWritten(), 0);
            s.playedMarks[999] = -1;
            QVERIFY(db.write(s, 4000));
            QCOMPARE(db.lastRowsWritten(), 2);

            StateDb other(path, "/two/");
            QVERIFY(other.open());
            QVERIFY(!other.load());
            QVERIFY(other.write(sample(2), 5000));
        }
        StateDb db(path, "/one/");
        QVERIFY(db.open());
        auto r = db.load();
        QVERIFY(r);
        QVERIFY(!r->clean);
        QCOMPARE(r->savedMs, qint64(4000));
        QCOMPARE(state::encode(r->snapshot), state::encode(s));
        QVERIFY(db.markClean());
        QVERIFY(db.load()->clean);
        QCOMPARE(db.load()->snapshot.entries.size(), 1000);
        r = db.load(false); // what start-up asks: a clean end's rows stay unread
        QVERIFY(r->clean && r->snapshot.entries.isEmpty());
        QCOMPARE(r->savedMs, qint64(4000));
        QVERIFY(db.beginRun({"/x.mp3", 2}));
        r = db.load(false);
        QVERIFY(!r->clean);
        QCOMPARE(r->snapshot.entries.size(), 1000); // an unclean end's rows are read
        QCOMPARE(r->guard.entry, QStringLiteral("/x.mp3"));
        QCOMPARE(r->guard.runs, 2);

        StateDb two(path, "/two/");
        QVERIFY(two.open());
        QCOMPARE(two.load()->snapshot.entries.size(), 2);
    }

    void aDamagedFileIsSetAside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("state.sqlite");
        const QByteArray junk = QByteArray("SQLite format 3") + QByteArray(4000, '\x7f');
        writeBytes(path, junk);
        StateDb db(path, "/one/");
        QVERIFY(db.open());
        QVERIFY(!db.setAside().isEmpty());
        QFile aside(db.setAside());
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), junk); // kept as it was, for whoever wants to look
        QVERIFY(db.write(sample(3), 1));
        QCOMPARE(db.load()->snapshot.entries.size(), 3);

        // No folder can be made: no database, and no crash either.
        writeBytes(dir.filePath("plain"), "x");
        StateDb none(dir.filePath("plain/state.sqlite"), "/one/");
        QVERIFY(!none.open());
        QVERIFY(!none.load());
        QVERIFY(!none.write(sample(1), 1));
    }

    // A run that ends without saving (killed, crashed, power cut) is simulated by an App that
    // is destroyed without its closing road.
    void anUncleanEndIsRestoredAndARepeatedOneSkipsTheEntry()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        testkit::ScriptedMain scripted;
        testkit::ScriptedPlayer *&player = scripted.player;
        state::Snapshot start;
        start.drive = "/";
        start.folder = cwd.path();
        start.entries = QStringList{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
        start.lastIndex = 0;
        start.currentEntry = "/x/1.mp3";
        writeBytes(cwd.file("velloran.txt"), state::encode(start));
        QTest::qWait(20); // the copy must be newer than the file on any clock resolution

        {
            App app(scripted.options());
            app.Form_Load();
            QCOMPARE(app.m.currentFile, QStringLiteral("/x/1.mp3"));
            app.playback().setList2Index(1);
            app.playback().decide_video();
            player->position = 125.4;
            app.m.volume = -500;
            app.session().writeRecovery();
        }
        {
            App app(scripted.options());
            app.Form_Load();
            QCOMPARE(app.form1().List2->listIndex(), 1);
            QCOMPARE(app.m.currentFile, QStringLiteral("/x/2.mp3"));
            QCOMPARE(app.m.resumePos, int16_t(125));
            QCOMPARE(app.m.volume, int16_t(-500));
            QVERIFY(app.m.playedMarks[0] != 0);
        }
        {
            // The second unclean end on the same entry: it counts as played, the next one starts.
            App app(scripted.options());
            app.Form_Load();
            QCOMPARE(app.m.currentFile, QStringLiteral("/x/3.mp3"));
            QVERIFY(app.m.playedMarks[1] != 0);
            QCOMPARE(app.m.resumePos, int16_t(0));
            player->position = 9;
            app.session().SaveState();
        }
        {
            // A clean close: the session file holds, and nothing is skipped any more.
            App app(scripted.options());
            app.Form_Load();
            QCOMPARE(app.m.currentFile, QStringLiteral("/x/3.mp3"));
            QCOMPARE(app.m.resumePos, int16_t(9));
            QVERIFY(dialogs.messages.empty());
        }
    }

    void replayOneDoesNotRestartTheEntryThatEndedTwoRuns()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        testkit::ScriptedMain scripted;
        testkit::ScriptedPlayer *&player = scripted.player;
        state::Snapshot start;
        start.drive = "/";
        start.folder = cwd.path();
        start.entries = QStringList{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
        start.lastIndex = 2;
        start.resumePos = 4;
        start.currentEntry = "/x/3.mp3";
        start.replayMode = 1;
        writeBytes(cwd.file("velloran.txt"), state::encode(start));
        for (int run = 0; run < 2; ++run) {
            App app(scripted.options());
            app.Form_Load();
            QCOMPARE(app.m.currentFile, QStringLiteral("/x/3.mp3"));
        }
        App app(scripted.options());
        app.Form_Load();
        QCOMPARE(app.m.currentFile, QStringLiteral("/x/1.mp3"));
        app.playback().Timer1_Timer();
        QCOMPARE(player->file, QStringLiteral("/x/1.mp3"));
    }

    void aDamagedDatabaseIsToldInTheSearchLine()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString path = statedb::defaultPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        writeBytes(path, QByteArray(3000, 'z'));
        // The session file alone still resumes its entry at its second.
        state::Snapshot saved;
        saved.folder = cwd.path();
        saved.entries = QStringList{"/x/1.mp3", "/x/2.mp3"};
        saved.lastIndex = 1;
        saved.resumePos = 42;
        saved.currentEntry = "/x/2.mp3";
        writeBytes(cwd.file("velloran.txt"), state::encode(saved));
        testkit::ScriptedMain scripted;
        App app(scripted.options());
        app.Form_Load();
        QVERIFY(app.form1().Text2->text().contains("The state database was damaged"));
        QVERIFY(app.session().stateDb()->isOpen());
        QCOMPARE(scripted.player->file, QStringLiteral("/x/2.mp3"));
        QCOMPARE(scripted.player->position, 42.0);
    }
};

QTEST_MAIN(TestStateDb)
#include "test_state_db.moc"
