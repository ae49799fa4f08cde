// The session file: the codec against files written byte by byte here, the restore of such
// files, and damaged, huge or missing files. (A save that cannot write: test_faults.)

#include "app/app.h"
#include "app/session.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <clocale>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Records made byte by byte here, independent of the program's own writer.
QByteArray intRecord(int16_t v)
{
    QByteArray r(state::kRecordSize, '\0');
    r[0] = char(v & 0xff);
    r[1] = char((uint16_t(v) >> 8) & 0xff);
    return r;
}

QByteArray textRecord(const QString &s)
{
    const QByteArray utf8 = s.toUtf8();
    QByteArray r = intRecord(int16_t(utf8.size()));
    r.replace(2, utf8.size(), utf8);
    return r;
}

struct HandFile {
    QString drive = "/", folder;
    int16_t last = 0, pos = 0;
    QString current;
    int16_t volume = 0, shuffle = 0, preview = 0, previewSecs = 10;
    std::vector<int16_t> marks;
    int16_t subdirs = 0, selectAll = 0, replay = 0;
    QStringList entries;
    int16_t video = 0;

    QByteArray bytes() const
    {
        const int16_t n = int16_t(entries.size() - 1);
        QByteArray b = textRecord(drive) + textRecord(folder) + intRecord(last) + intRecord(pos) + textRecord(current)
            + intRecord(volume) + intRecord(shuffle) + intRecord(preview) + intRecord(previewSecs) + intRecord(n);
        for (int i = 0; i <= n; ++i)
            b += intRecord(size_t(i) < marks.size() ? marks[size_t(i)] : 0);
        b += intRecord(subdirs) + intRecord(selectAll) + intRecord(replay);
        for (const QString &e : entries)
            b += textRecord(e);
        return b + intRecord(video);
    }
};

HandFile sample(const QString &folder)
{
    HandFile h;
    h.folder = folder;
    h.entries = QStringList{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
    h.current = "/x/2.mp3";
    h.last = 1;
    return h;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void codecAgreesWithAHandWrittenFile()
    {
        HandFile h;
        h.folder = "/μουσική";
        h.current = "/m/Ωδή 300.mp3";
        h.marks = {1, 0, -1};
        h.last = 2;
        h.pos = 42;
        h.video = 1;
        for (int i = 0; i < 600; ++i) // longer than the writer's buffer
            h.entries.append(QStringLiteral("/m/Ωδή %1.mp3").arg(i));
        state::Decoded d = state::decode(h.bytes());
        QCOMPARE(d.snapshot.entries, h.entries);
        QCOMPARE(d.snapshot.playedMarks[0], int16_t(-1)); // anything but 0 is played
        QCOMPARE(d.snapshot.videoMode, int16_t(1));
        h.marks[0] = -1;
        QCOMPARE(state::encode(d.snapshot), h.bytes());

        // A text too long for a record is written as "", never cut.
        d.snapshot.entries[300] = QString(200, QChar(u'Ω'));
        QVERIFY(!state::fitsRecord(d.snapshot.entries[300]) && state::fitsRecord(QString(253, 'a')));
        QCOMPARE(state::decode(state::encode(d.snapshot)).savedAt[300], 301);
        // Blank and damaged entries are left out, indexes below none and negative seconds bounded.
        h.entries = QStringList{"/x/1.mp3", " ", "", "/x/4.mp3"};
        h.last = -7;
        h.pos = -5;
        QByteArray bytes = h.bytes();
        bytes.replace(state::entryRecord(3, 0) * 255 - 255, 2, intRecord(300).left(2));
        d = state::decode(bytes);
        QCOMPARE(d.snapshot.entries, QStringList{"/x/4.mp3"});
        QCOMPARE(d.savedAt, std::vector<int>{3});
        QCOMPARE(d.lastSaved, 3);
        QCOMPARE(d.snapshot.lastIndex, int16_t(-1));
        QCOMPARE(d.snapshot.resumePos, int16_t(0));
        // Records past the end read as 0 or "".
        d = state::decode(bytes.left(300));
        QVERIFY(d.snapshot.folder.isEmpty() && d.lastSaved == 0 && d.snapshot.entries.isEmpty());
        QCOMPARE(state::usefulSize(bytes.left(state::kHeadSize)), qint64(22 * 255));
    }

    void handMadeFileIsRestoredAndSavedBack()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        QVERIFY(QDir(cwd.path()).mkpath("music/sub"));
        HandFile h;
        h.folder = cwd.file("music");
        h.entries = QStringList{"/nowhere/b.mp3", "/nowhere/a.mp3", "/nowhere/c.mp3"};
        h.marks = {-1, 0, -1};
        h.last = 1;
        h.pos = 42;
        h.current = "/nowhere/b.mp3";
        h.volume = -800;
        h.preview = -1;
        h.previewSecs = 20;
        h.replay = 2;
        h.video = -1;
        writeFile(cwd.file("velloran.txt"), h.bytes() + QByteArray(3 * 255, 'x')); // stale tail

        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        QCOMPARE(f.Dir1->path(), h.folder);
        QCOMPARE(f.List2->text(0), QStringLiteral("/nowhere/a.mp3"));
        QCOMPARE(f.HScroll1->value(), -800);
        QVERIFY(f.mnumorepreview->isChecked() && f.mnumoreduration->isEnabled());
        QVERIFY(!f.mnumorereplayn[0]->isChecked() && !f.mnumorereplayn[1]->isChecked()
                && f.mnumorereplayn[2]->isChecked());
        QVERIFY(f.mnuvideohide->isChecked());
        QCOMPARE(app.m.playedMarks[1], int16_t(-1)); // the resumed entry is marked
        QCOMPARE(app.m.currentFile, QStringLiteral("/nowhere/b.mp3"));
        QVERIFY(dialogs.messages.empty());

        // Saving writes the same session back, the file now exactly 16 + 2N records.
        app.session().SaveState();
        h.entries.sort();
        h.marks = {-1, -1, -1};
        h.pos = 0; // the second is the player's, and b.mp3 never opened
        QCOMPARE(readFile(cwd.file("velloran.txt")), h.bytes());
    }

    void listSavedInTheOlderOrderKeepsItsPlace()
    {
        // Written by the older sort (code points after case folding): Ά before Α.
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/nowhere/Άλμπουμ.mp3", "/nowhere/Αγάπη.mp3", "/nowhere/Βράδυ.mp3"};
        h.marks = {-1, 0, 0};
        h.last = 1;
        h.current = "/nowhere/Αγάπη.mp3";
        writeFile(cwd.file("velloran.txt"), h.bytes());
        App app({testkit::headless()});
        app.Form_Load();
        QCOMPARE(app.form1().List2->text(0), h.current);
        QCOMPARE(app.m.lastIndex, int16_t(0));
        QCOMPARE(app.m.playedMarks, (std::vector<int16_t>{-1, -1, 0})); // Άλμπουμ stays played
        QVERIFY(dialogs.messages.empty());
    }

    void aChangedListIsReportedUnlessShuffledOrUnnamed_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int16_t>("shuffle");
        QTest::addColumn<int>("messages");
        QTest::newRow("changed") << "/x/gone.mp3" << int16_t(0) << 1;
        QTest::newRow("shuffle") << "/x/gone.mp3" << int16_t(-1) << 0;
        QTest::newRow("no name") << "" << int16_t(0) << 0;
    }
    void aChangedListIsReportedUnlessShuffledOrUnnamed()
    {
        QFETCH(QString, current);
        QFETCH(int16_t, shuffle);
        QFETCH(int, messages);
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/x/1.mp3", "/x/2.mp3", " ", "/x/4.mp3", "/x/5.mp3"};
        h.current = current;
        h.shuffle = shuffle;
        h.last = 4;
        h.pos = 3725;
        writeFile(cwd.file("velloran.txt"), h.bytes());
        App app({testkit::headless()});
        app.Form_Load();
        QCOMPARE(app.form1().List2->count(), 4);
        QCOMPARE(app.form1().List2->isEnabled(), shuffle == 0);
        QCOMPARE(int(dialogs.messages.size()), messages);
        if (messages == 0)
            return;
        QCOMPARE(dialogs.messages[0].style, dialogs::Style::OkExclamation);
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("Ο αριθμός των αρχείων του καταλόγου άλλαξε από 5 σε 4, διαφορά-1 αρχείων."
                                " Το αρχείο που αναπαράχθηκε την τελευταία φορά ήταν το /x/gone.mp3"
                                " και ο χρόνος αναπαραγωγής διήρκησε  1: 2: 5 δευτερόλεπτα.\r\n"
                                "\r\nThe number of files presented in the currend folder has been changed"
                                " from 5 to 4, difference is-1 files. The file that was last time"
                                " reproduced was /x/gone.mp3"));
        QCOMPARE(app.m.resumePos, int16_t(0));
    }

    // Missing, or a FIFO that would block a read: a start with defaults, and the save
    // writes a real file in its place.
    void noFileStartsWithDefaults_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("missing") << false;
        QTest::newRow("fifo") << true;
    }
    void noFileStartsWithDefaults()
    {
        QFETCH(bool, fifo);
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString path = cwd.file("velloran.txt");
        QVERIFY(!fifo || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        App app({testkit::headless()});
        app.Form_Load();
        QVERIFY(QFile::exists(path));
        QCOMPARE(app.m.previewSecs, int16_t(10));
        QVERIFY(app.form1().mnumorereplayn[0]->isChecked() && !app.form1().mnumorereplayn[1]->isChecked());
        QCOMPARE(app.form1().List2->count(), 0);
        QCOMPARE(app.m.playedMarks.size(), size_t(1));
        QVERIFY(dialogs.messages.empty());
        app.session().SaveState();
        QCOMPARE(QFileInfo(path).size(), qint64(14 * 255));
    }

    void goneSavedFolderKeepsTheFolderShown()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        writeFile(cwd.file("velloran.txt"), sample(cwd.file("gone/away")).bytes());
        App app({testkit::headless()});
        app.Form_Load();
        QCOMPARE(app.form1().Dir1->path(), QDir::currentPath());
        QCOMPARE(app.form1().Drive1->drive(), DriveBox::driveOf(QDir::currentPath()));
        app.session().SaveState();
        QCOMPARE(state::decode(readFile(cwd.file("velloran.txt"))).snapshot.folder, QDir::currentPath());
    }

    void damagedFilesNeverBreakTheProgram()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QByteArray good = sample(cwd.path()).bytes();
        App app({testkit::headless()});
        app.Form_Load();
        QRandomGenerator rng(20261205);
        for (int round = 0; round < 200; ++round) {
            QByteArray b = good;
            if (round % 3 == 0)
                b.truncate(rng.bounded(b.size()));
            for (int k = 0; round % 3 == 1 && k < 8; ++k)
                b[rng.bounded(b.size())] = char(1 << rng.bounded(8));
            if (round % 3 == 2)
                b.replace(9 * 255, 2, intRecord(int16_t(rng.bounded(-3, 32768))));
            writeFile(cwd.file("velloran.txt"), b);
            app.session().LoadState();
            QVERIFY(app.m.playedMarks.size() >= size_t(std::max(1, app.form1().List2->count())));
            QVERIFY(app.m.lastIndex >= -1);
        }
        writeFile(cwd.file("velloran.txt"), good);
        app.session().LoadState();
        QCOMPARE(app.form1().List2->count(), 3);
    }

    void hugeFileCostsNoMoreThanItsRecords()
    {
        // Peak memory of the whole process, which has not yet read a big file.
        const auto peakMiB = [] {
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            return u.ru_maxrss / 1024;
        };
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString path = cwd.file("velloran.txt");
        HandFile h = sample(cwd.path());
        for (const int16_t claimed : {int16_t(2), int16_t(32766)}) {
            // Two gigabytes of holes behind the valid records; the count may claim the
            // longest playlist.
            QByteArray b = h.bytes();
            b.replace(9 * 255, 255, intRecord(claimed));
            writeFile(path, b);
            App({testkit::headless()}).Form_Load(); // growth over a normal start is what counts
            const auto normalPeak = peakMiB();
            QFile f(path);
            QVERIFY(f.resize(f.size() + (qint64(2) << 30)));
            App app({testkit::headless()});
            app.Form_Load();
            QVERIFY2(peakMiB() < normalPeak + 80, qPrintable(QString::number(peakMiB())));
            QCOMPARE(app.m.playedMarks.size(), size_t(claimed + 1));
            if (claimed == 2) {
                app.session().SaveState(); // the save drops the tail
                QCOMPARE(QFileInfo(path).size(), qint64(20 * 255));
            }
        }
    }
};

QTEST_MAIN(TestSession)
#include "test_session.moc"
