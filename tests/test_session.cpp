// The session file: the codec against files written byte by byte here, the restore of such
// files, and damaged, huge or missing files. (A save that cannot write: test_player.)

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

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void codecAgreesWithAHandWrittenFile()
    {
        HandFile h{
            .folder = "/μουσική", .last = 2, .pos = 42, .current = "/m/Ωδή 300.mp3", .marks = {1, 0, -1}, .video = 1};
        for (int i = 0; i < 600; ++i) // longer than the writer's buffer
            h.entries.append(QStringLiteral("/m/Ωδή %1.mp3").arg(i));
        state::Decoded d = state::decode(h.bytes());
        QCOMPARE(d.snapshot.entries, h.entries);
        h.marks[0] = -1; // anything but 0 is played
        QCOMPARE(state::encode(d.snapshot), h.bytes());
        d.snapshot.playedMarks.resize(3); // marks missing at the end are written as 0
        QCOMPARE(state::encode(d.snapshot), h.bytes());

        // The longest text a record holds comes back whole; one byte more is written as "", never cut.
        const QString longest = QString(state::kMaxText - 5, QLatin1Char('n')) + QChar(0xDCE9) + ".mp3";
        d.snapshot.entries[299] = longest;
        d.snapshot.entries[300] = longest + "x";
        QVERIFY(state::fitsRecord(longest) && !state::fitsRecord(longest + "x"));
        const state::Decoded back = state::decode(state::encode(d.snapshot));
        QCOMPARE(back.snapshot.entries[299], longest);
        QCOMPARE(back.savedAt[300], 301);
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
    }

    void handMadeFileIsRestoredAndSavedBack()
    {
        testkit::Fixture fx;
        QVERIFY(QDir(fx.cwd.path()).mkpath("music/sub"));
        HandFile h{.folder = fx.cwd.file("music"),
                   .last = 1,
                   .pos = 42,
                   .current = "/nowhere/b.mp3",
                   .volume = -800,
                   .preview = -1,
                   .previewSecs = 20,
                   .marks = {-1, 0, -1},
                   .replay = 2,
                   .entries = {"/nowhere/b.mp3", "/nowhere/a.mp3", "/nowhere/c.mp3"},
                   .video = -1};
        testkit::writeFile("velloran.txt", h.bytes() + QByteArray(3 * 255, 'x')); // stale tail
        // What a run killed in its save leaves goes; other names are not ours.
        for (const char *left : {"velloran.txt.aB3xYz", "velloran.txt.bak"})
            testkit::writeFile(left, "x");

        App &app = fx.start();
        QCOMPARE(QDir(fx.cwd.path()).entryList({"velloran.txt.*"}), QStringList{"velloran.txt.bak"});
        Form1 &f = app.form1();
        QCOMPARE(f.HScroll1->value(), -800);
        QVERIFY(f.mnumorepreview->isChecked() && f.mnumoreduration->isEnabled());
        QVERIFY(!f.mnumorereplayn[0]->isChecked() && !f.mnumorereplayn[1]->isChecked()
                && f.mnumorereplayn[2]->isChecked());
        QVERIFY(f.mnuvideohide->isChecked());
        QCOMPARE(app.m.currentFile, QStringLiteral("/nowhere/b.mp3"));
        QVERIFY(fx.dialogs.messages.empty());

        // Saving writes the same session back, the file now exactly 16 + 2N records.
        app.session().SaveState();
        h.entries.sort();
        h.marks = {-1, -1, -1};
        h.pos = 0; // the second is the player's, and b.mp3 never opened
        QCOMPARE(testkit::readAll("velloran.txt"), h.bytes());
    }

    void listSavedInTheOlderOrderKeepsItsPlace()
    {
        // Written by the older sort (code points after case folding): Ά before Α.
        testkit::Fixture fx;
        const HandFile h{.folder = fx.cwd.path(),
                         .last = 1,
                         .current = "/nowhere/Αγάπη.mp3",
                         .marks = {-1, 0, 0},
                         .entries = {"/nowhere/Άλμπουμ.mp3", "/nowhere/Αγάπη.mp3", "/nowhere/Βράδυ.mp3"}};
        testkit::writeFile("velloran.txt", h.bytes());
        App &app = fx.start();
        QCOMPARE(app.m.lastIndex, int16_t(0));
        QCOMPARE(app.m.playedMarks, (std::vector<int16_t>{-1, -1, 0})); // Άλμπουμ stays played
        QVERIFY(fx.dialogs.messages.empty());
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
        testkit::Fixture fx;
        const HandFile h{.folder = fx.cwd.path(),
                         .last = 4,
                         .pos = 3725,
                         .current = current,
                         .shuffle = shuffle,
                         .entries = {"/x/1.mp3", "/x/2.mp3", " ", "/x/4.mp3", "/x/5.mp3"}};
        testkit::writeFile("velloran.txt", h.bytes());
        App &app = fx.start();
        QCOMPARE(app.form1().List2->isEnabled(), shuffle == 0);
        QCOMPARE(int(fx.dialogs.messages.size()), messages);
        if (messages == 0)
            return;
        QCOMPARE(fx.dialogs.messages[0].text,
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
        testkit::Fixture fx;
        const QString path = "velloran.txt";
        QVERIFY(!fifo || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        App &app = fx.start();
        QVERIFY(QFile::exists(path));
        QCOMPARE(app.m.previewSecs, int16_t(10));
        QCOMPARE(app.m.playedMarks.size(), size_t(1));
        QVERIFY(fx.dialogs.messages.empty());
        app.session().SaveState();
        QCOMPARE(QFileInfo(path).size(), qint64(14 * 255));
    }

    // Two gigabytes of holes behind the valid records, a count claiming the longest playlist,
    // and a saved folder that is gone: the working folder is shown and saved instead.
    void hugeFileCostsNoMoreThanItsRecords()
    {
        const auto peakMiB = [] {
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            return u.ru_maxrss / 1024;
        };
        testkit::Fixture fx;
        const HandFile h{.folder = fx.cwd.file("gone/away"), .entries = {"/x/1.mp3", "/x/2.mp3"}};
        QByteArray b = h.bytes();
        b.replace(9 * 255, 255, intRecord(32766));
        testkit::writeFile("velloran.txt", b);
        // Growth over a normal start is what counts.
        QCOMPARE(fx.start().form1().Dir1->path(), QDir::currentPath());
        const auto normalPeak = peakMiB();
        QFile f("velloran.txt");
        QVERIFY(f.resize(f.size() + (qint64(2) << 30)));
        App &app = fx.start();
        QVERIFY2(peakMiB() < normalPeak + 80, qPrintable(QString::number(peakMiB())));
        QCOMPARE(app.m.playedMarks.size(), size_t(32767));
        app.session().SaveState();
        QCOMPARE(*fx.saved().readString(2), QDir::currentPath());
    }
};

QTEST_MAIN(TestSession)
#include "test_session.moc"
