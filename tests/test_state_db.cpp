// The state database: the crash-loop count, writes that touch only what changed, folders
// kept apart, names kept as their bytes, older files migrated, a damaged file set aside and
// a locked one left alone (its writes held until it frees), and a run that ends without
// saving taken up by the next start.

#include "app/app.h"
#include "app/session.h"
#include "base/fsname.h"
#include "base/fsprobe.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "state/places.h"
#include "state/state_db.h"
#include "testkit.h"
#include "ui/form1.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList kThree{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};

state::Snapshot sample(int entries)
{
    state::Snapshot s{.drive = "/",
                      .folder = "/music",
                      .lastIndex = 1,
                      .resumePos = 75,
                      .volume = -300,
                      .replayMode = 2,
                      .videoMode = -1};
    for (int i = 0; i < entries; ++i)
        s.entries.append(QStringLiteral("/music/ένα %1.mp3").arg(i));
    s.currentEntry = s.entries.value(1);
    s.playedMarks.assign(size_t(entries), 0);
    if (entries > 0)
        s.playedMarks[0] = -1;
    return s;
}

// A connection of the test's own beside the program's: an older program, another run.
struct Other : QSqlDatabase {
    explicit Other(const QString &path)
        : QSqlDatabase(addDatabase("QSQLITE", QUuid::createUuid().toString()))
    {
        setDatabaseName(path);
        open();
    }
    bool exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(*this);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        return q.exec();
    }
};

} // namespace

class TestStateDb : public QObject {
    Q_OBJECT
private slots:
    void uncleanEndsAreCountedPerEntry()
    {
        statedb::Guard g = statedb::afterUncleanEnd({}, "/a.mp3");
        QVERIFY(g.runs == 1 && !statedb::skipEntry(g));
        g = statedb::afterUncleanEnd(g, "/a.mp3");
        QVERIFY(statedb::skipEntry(g));
        QCOMPARE(statedb::afterUncleanEnd(g, "/b.mp3").runs, 1);
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
            QVERIFY(db.open() && !db.load() && db.beginRun({}));
            // Rows per write: the place always; settings and marks one; the entries one per 512.
            const std::pair<std::function<void()>, int> steps[] = {
                {[] {}, 4},
                {[&] { s.resumePos = 80; }, 1},
                {[] {}, 0},
                {[&] { s.playedMarks[999] = -1; }, 2},
                {[&] { s.playedMarks.push_back(-1); }, 0}, // past the end: not in the file
                {[&] { s.volume = -200; }, 2},
                {[&] { s.entries[2] = "/music/other.mp3"; }, 3},
                {[&] { s.entries.removeLast(); }, 4}, // the marks' count changes too
            };
            qint64 ms = 0;
            for (const auto &[change, rows] : steps) {
                change();
                QVERIFY(db.write(s, ms += 1000));
                QCOMPARE(db.lastRowsWritten(), rows);
            }
            StateDb other(path, "/two/");
            QVERIFY(other.open() && !other.load());
            QVERIFY(other.write(sample(2), 5000));
        }
        StateDb db(path, "/one/");
        QVERIFY(db.open());
        auto r = db.load();
        QVERIFY(r && !r->clean);
        QCOMPARE(r->savedMs, qint64(8000));
        QCOMPARE(state::encode(r->snapshot), state::encode(s));
        QVERIFY(db.markClean());
        r = db.load(false); // what start-up asks: a clean end's rows stay unread
        QVERIFY(r->clean && r->snapshot.entries.isEmpty());
        QCOMPARE(db.load()->snapshot.entries.size(), 999);
        QVERIFY(db.beginRun({"/x.mp3", 2}));
        r = db.load(false);
        QCOMPARE(r->snapshot.entries.size(), 999); // an unclean end's rows are read
        QCOMPARE(r->guard.entry, QStringLiteral("/x.mp3"));
        QCOMPARE(r->guard.runs, 2);
        QVERIFY(db.markClean()); // a clean end closes the count
        QCOMPARE(db.load()->guard.runs, 0);
        // A run's first write leaves the rows of the playlist the file holds, and only those.
        QVERIFY(db.write(s, 9000) && db.lastRowsWritten() == 2);
        s.entries.swapItemsAt(0, 1);
        StateDb next(path, "/one/");
        QVERIFY(next.open() && next.write(s, 9500) && next.lastRowsWritten() == 4);
        StateDb two(path, "/two/");
        QVERIFY(two.open());
        QCOMPARE(two.load()->snapshot.entries.size(), 2);
    }

    // What a kill leaves comes back byte for byte: the entries, the place and the file's place.
    void namesKeepTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("utf-8") << QByteArray("/μουσική/ένα.mp3");
        QTest::newRow("latin-1") << QByteArray("/m/caf\xe9 cr\xe8me.wav");
        QTest::newRow("held byte last") << QByteArray("/m/caf\xe9");
        QTest::newRow("sql") << QByteArray("/m/it's'); DROP TABLE entries; --.mp3");
    }
    void namesKeepTheirBytes()
    {
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        const QString path = dir.filePath("state.sqlite"), entry = fsname::decode(name);
        const QString folder = fsname::decode(name + "/");
        state::Snapshot s = sample(2);
        s.entries[1] = s.currentEntry = s.drive = s.folder = entry;
        {
            StateDb db(path, folder);
            QVERIFY(db.open() && db.beginRun({entry, 1}) && db.write(s, 1));
            Places places(db);
            places.attach();
            places.keep(entry, 61.5);
        }
        StateDb db(path, folder);
        QVERIFY(db.open());
        const auto r = db.load();
        QCOMPARE(state::encode(r->snapshot), state::encode(s));
        QCOMPARE(fsname::encode(r->guard.entry), name);
        Places places(db);
        places.attach();
        QCOMPARE(places.placeOf(entry), 61.5);
    }

    void olderFilesAreMigrated()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("state.sqlite");
        {
            // Version 0 kept names as text; a byte that is not UTF-8 was merged on the way in.
            Other old(path);
            for (const char *sql :
                 {"CREATE TABLE place(folder TEXT PRIMARY KEY, clean INTEGER NOT NULL, saved_ms INTEGER NOT NULL,"
                  " last_index INTEGER, resume_pos INTEGER, entry TEXT, crash_entry TEXT, crash_runs INTEGER)",
                  "CREATE TABLE entries(folder TEXT, idx INTEGER, text TEXT, PRIMARY KEY(folder, idx)) WITHOUT ROWID",
                  "CREATE TABLE places(folder TEXT, path TEXT, seconds REAL, PRIMARY KEY(folder, path)) WITHOUT ROWID",
                  "CREATE TABLE speed(folder TEXT PRIMARY KEY, factor REAL NOT NULL)",
                  "INSERT INTO place VALUES('/one/', 0, 5, 1, 75, '/m/ένα.mp3', '', 0), ('/two/', 0, 5, 0, 0, '', '', "
                  "0)",
                  "INSERT INTO entries VALUES('/one/', 0, '/m/a.mp3'), ('/one/', 1, '/m/ένα.mp3'), ('/two/', 0, '/x')",
                  "INSERT INTO places VALUES('/one/', '/m/ένα.mp3', 12.5)", "INSERT INTO speed VALUES('/one/', 1.5)"})
                QVERIFY2(old.exec(sql), sql);
            const QString latin1 = fsname::decode("/m/caf\xe9 cr\xe8me.wav");
            QVERIFY(old.exec("INSERT INTO places VALUES('/one/', ?, 30)", {latin1}));
            QVERIFY(old.exec("INSERT INTO entries VALUES('/two/', 1, ?)", {latin1}));
        }
        StateDb db(path, "/one/");
        QVERIFY(db.open());
        QCOMPARE(db.droppedRows(), 2); // shown in the search line (Session::showNotice)
        const auto r = db.load();
        QCOMPARE(r->snapshot.entries, QStringList({"/m/a.mp3", "/m/ένα.mp3"}));
        QCOMPARE(r->snapshot.currentEntry, QStringLiteral("/m/ένα.mp3"));
        Places places(db);
        places.attach();
        QCOMPARE(places.placeOf("/m/ένα.mp3"), 12.5);
        QSqlQuery speed(db.database());
        QVERIFY(speed.exec("SELECT factor FROM speed WHERE folder = CAST('/one/' AS BLOB)") && speed.next());
        QCOMPARE(speed.value(0).toDouble(), 1.5);
        // A copy that lost an entry goes whole: its marks would fall on the wrong files.
        StateDb two(path, "/two/");
        QVERIFY(two.open() && !two.load());
        QCOMPARE(two.droppedRows(), 0);

        // Version 1 kept a row per entry: they come over in their order, byte for byte.
        const QString v1 = dir.filePath("v1.sqlite");
        state::Snapshot s = sample(600);
        s.entries[599] = fsname::decode("/m/caf\xe9.wav");
        {
            StateDb made(v1, "/one/");
            QVERIFY(made.open() && made.write(s, 5));
        }
        {
            Other back(v1);
            QVERIFY(back.exec("CREATE TABLE entries(folder BLOB NOT NULL, idx INTEGER NOT NULL, text BLOB NOT NULL,"
                              " PRIMARY KEY(folder, idx)) WITHOUT ROWID")
                    && back.exec("DELETE FROM entry_chunks") && back.exec("PRAGMA user_version = 1"));
            for (int i = 0; i < 600; ++i)
                QVERIFY(back.exec("INSERT INTO entries VALUES(?, ?, ?)",
                                  {QByteArray("/one/"), 599 - i, fsname::encode(s.entries[599 - i])}));
        }
        StateDb up(v1, "/one/");
        QVERIFY(up.open());
        QCOMPARE(up.load()->snapshot.entries, s.entries);
        // A cut chunk leaves the copy older than any file, its entries unread.
        QVERIFY(Other(v1).exec("UPDATE entry_chunks SET data = substr(data, 1, length(data) - 3) WHERE n = 1"));
        QVERIFY(up.load()->savedMs == 0 && up.load()->snapshot.entries.isEmpty());
    }

    void aLockedFileIsNotSetAside_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::newRow("rollback journal") << false;
        QTest::newRow("migration under a writer") << true;
    }
    void aLockedFileIsNotSetAside()
    {
        QFETCH(bool, wal);
        QTemporaryDir dir;
        const QString path = dir.filePath("state.sqlite");
        Other other(path);
        QVERIFY(other.exec(wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE"));
        QVERIFY(other.exec("CREATE TABLE speed(folder TEXT PRIMARY KEY, factor REAL NOT NULL)"));
        QVERIFY(other.exec(wal ? "BEGIN IMMEDIATE" : "BEGIN EXCLUSIVE"));
        QVERIFY(other.exec("INSERT INTO speed VALUES('/x/', 2)"));
        StateDb db(path, "/one/", 50);
        QVERIFY(!db.open());
        QVERIFY(db.setAside().isEmpty());
        QCOMPARE(QDir(dir.path()).entryList({"*damaged*"}), QStringList());
        QVERIFY(other.exec("COMMIT"));
        QVERIFY(db.open());
    }

    // Another program's lock costs a short wait, not a frozen window: what is written meanwhile
    // is held, told once, and goes in when the lock is let go; a start under it goes on.
    void aLockedDatabaseHoldsItsWritesUntilFree()
    {
        testkit::Fixture fx(true);
        const auto restore = qScopeGuard([home = qgetenv("XDG_STATE_HOME")] { qputenv("XDG_STATE_HOME", home); });
        qputenv("XDG_STATE_HOME", QFile::encodeName(fx.cwd.path())); // the lock stays with this test
        App *app = &fx.start(testkit::SessionFile{kThree, 1});
        Other other(statedb::defaultPath());
        QVERIFY(other.exec("BEGIN EXCLUSIVE") && other.exec("DELETE FROM speed"));
        QSignalSpy told(app->form1().Text2, &QLineEdit::textChanged);
        app->places().keep("/x/1.mp3", 41);
        app->session().writeRecovery();
        app->places().keep("/x/1.mp3", 42);
        app->session().writeRecovery();
        QVERIFY(other.exec("COMMIT"));
        app->session().writeRecovery(); // told when it began, taken back when it ended
        QVERIFY(told.count() == 2 && !app->form1().Text2->text().contains("places are not kept"));
        QVERIFY(other.exec("BEGIN EXCLUSIVE") && other.exec("DELETE FROM speed"));
        app->session().SaveState();
        app = &fx.start();
        QVERIFY(app->places().placeOf("/x/1.mp3") == 42 && app->form1().Text2->text().contains("places are not kept"));
        // The close under the lock was clean, though its mark could not go in: no crash is counted.
        QVERIFY(other.exec("COMMIT"));
        app->session().writeRecovery();
        StateDb probe(statedb::defaultPath(), app->m.stateFolder);
        QVERIFY(probe.open());
        QCOMPARE(probe.load(false)->guard.runs, 0);
    }

    // A run that ends without saving (killed, crashed, power cut): the App is destroyed
    // without its closing road.
    void anUncleanEndIsRestored()
    {
        testkit::Fixture fx(true);
        testkit::writeSession(fx.cwd.path(), {kThree, 0});
        QTest::qWait(20); // the copy must be newer than the file on any clock resolution
        App *app = &fx.start();
        app->playback().setList2Index(1);
        app->playback().decide_video();
        fx.player->position = 125.4;
        app->m.volume = -500;
        app->session().writeRecovery();
        app = &fx.start();
        QVERIFY(app->form1().Text2->text().contains("restored from its recovery copy"));
        QCOMPARE(app->m.currentFile, QStringLiteral("/x/2.mp3"));
        QCOMPARE(app->m.resumePos, int16_t(125));
        QCOMPARE(app->m.volume, int16_t(-500));
        QVERIFY(app->m.playedMarks[0] != 0);
        fx.player->position = 9;
        app->session().SaveState();
        // A clean close: the session file holds, and nothing is skipped after a third start.
        app = &fx.start();
        QCOMPARE(app->m.currentFile, QStringLiteral("/x/2.mp3"));
        QCOMPARE(app->m.resumePos, int16_t(9));
        QVERIFY(fx.dialogs.messages.empty());
    }

    // A file that ends the run 0.5 s into its play, however it was reached, is marked played
    // after two such ends, never the entry before it, and the list goes on.
    void aFileThatEndsEveryRunIsSkippedAfterTwo_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("starts");
        QTest::newRow("next") << QStringList{"a.wav", "bad1.wav", "z.wav"} << 3;
        QTest::newRow("advance from 5 s") << QStringList{"a.wav", "bad1.wav", "z.wav"} << 3;
        QTest::newRow("second of two") << QStringList{"a.wav", "bad1.wav", "bad2.wav", "z.wav"} << 5;
    }
    void aFileThatEndsEveryRunIsSkippedAfterTwo()
    {
        QFETCH(QStringList, names);
        QFETCH(int, starts);
        testkit::Fixture fx;
        QStringList files;
        for (const QString &name : names)
            files << testkit::makeMedia(fx.cwd.path(), name, "wav", 5);
        testkit::writeSession(fx.cwd.path(), {files, 0});
        int runs = 0;
        QString told;
        for (bool died = true; died && runs < 8; ++runs) {
            Player &p = fx.start().playback().watchedPlayer();
            told = fx.form().Text2->text();
            if (QTest::currentDataTag() == QLatin1String("next")
                && testkit::waitFor([&] { return p.CurrentPosition() > 0; }, 15000))
                fx.app->playback().Command3_Click();
            testkit::waitFor(
                [&] {
                    return p.FileName().contains("bad") ? p.CurrentPosition() >= 0.5 : p.FileName() == files.last();
                },
                20000);
            died = p.FileName().contains("bad");
        }
        QCOMPARE(runs, starts);
        QVERIFY2(told.contains("ended twice while opening " + files[(starts - 1) / 2]), qPrintable(told));
    }

    void replayOneDoesNotRestartTheEntryThatEndedTwoRuns()
    {
        testkit::Fixture fx(true);
        fx.start(testkit::SessionFile{kThree, 2, 0, 1});
        fx.start();
        fx.start().playback().Timer1_Timer();
        QCOMPARE(fx.player->file, QStringLiteral("/x/1.mp3"));
    }

    // Where no recovery copy can be written the user is told once, not "damaged", and a
    // close that can save nowhere says so before it ends.
    void aStateFolderThatCannotBeWrittenIsTold_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("a file in the folder's place") << 0;
        QTest::newRow("read-only") << int(MS_RDONLY);
        QTest::newRow("full") << 1;
    }
    void aStateFolderThatCannotBeWrittenIsTold()
    {
        QFETCH(int, fault);
        testkit::Fixture fx(true);
        const auto restore = qScopeGuard([home = qgetenv("XDG_STATE_HOME")] { qputenv("XDG_STATE_HOME", home); });
        qputenv("XDG_STATE_HOME", QFile::encodeName(fx.cwd.path()));
        const QByteArray dir = QFile::encodeName(fx.cwd.file("velloran"));
        if (fault == 0)
            testkit::touch(fx.cwd.file("velloran"));
        else if (::mkdir(dir.constData(), 0755) != 0
                 || ::mount("tmpfs", dir.constData(), "tmpfs", ulong(fault & MS_RDONLY), "size=64k") != 0)
            QSKIP("a read-only or full disk of its own needs root (a small tmpfs)");
        const auto unmount = qScopeGuard([&] { ::umount2(dir.constData(), MNT_DETACH); });
        QFile fill(fx.cwd.file("velloran/fill"));
        if (fault == 1 && fill.open(QIODevice::WriteOnly))
            fill.write(QByteArray(1 << 20, 'x')); // short: the disk is full
        QLineEdit &text2 = *fx.start(testkit::SessionFile{kThree, 1}).form1().Text2;
        QVERIFY2(text2.text().contains("The recovery copy cannot be written") && !text2.text().contains("damaged"),
                 qPrintable(text2.text()));
        text2.clear(); // told once: the next tick keeps quiet
        fx.app->session().writeRecovery();
        QVERIFY(text2.text().isEmpty());
        QVERIFY(QFile::remove("velloran.txt") && QDir().mkdir("velloran.txt"));
        fx.app->session().SaveState();
        QVERIFY(fx.dialogs.messages.size() == 1 && fx.dialogs.messages[0].text.contains("The session was not saved"));
    }

    // Set aside as it was, for whoever wants to look, and told in the search line; the
    // session file alone still resumes its entry.
    void aDamagedDatabaseIsSetAsideAndTold()
    {
        testkit::Fixture fx(true);
        const QByteArray junk = QByteArray("SQLite format 3") + QByteArray(4000, '\x7f');
        testkit::writeFile(statedb::defaultPath(), junk);
        App &app = fx.start(testkit::SessionFile{kThree, 1});
        QVERIFY(app.form1().Text2->text().contains("The state database was damaged"));
        QCOMPARE(testkit::readAll(app.session().stateDb().setAside()), junk);
        QVERIFY(app.session().stateDb().isOpen());
        QCOMPARE(fx.player->file, QStringLiteral("/x/2.mp3"));
        // Links to what is not a file are neither replaced nor written beside.
        QVERIFY(QFile::link("/dev/zero", fx.cwd.file("zero.sqlite")));
        StateDb zero(fx.cwd.file("zero.sqlite"), "/one/");
        QVERIFY(!zero.open() && QFileInfo(fx.cwd.file("zero.sqlite")).isSymLink());
        QVERIFY(::mkfifo(QFile::encodeName(fx.cwd.file("fifo")).constData(), 0600) == 0);
        QVERIFY(QFile::remove("velloran.txt") && QFile::link(fx.cwd.file("fifo"), "velloran.txt"));
        app.session().SaveState();
        QCOMPARE(fsprobe::kindOf(fx.cwd.file("fifo")), fsprobe::Kind::Other);
    }
};

QTEST_MAIN(TestStateDb)
#include "test_state_db.moc"
