// The session file: its records, the restore from a file written by hand, damaged files,
// and a save that is interrupted.

#include "app/app.h"
#include "session/session.h"
#include "session/state_codec.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QBuffer>
#include <QElapsedTimer>
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

// A device that takes bytes until it holds limit of them, as a filling disk does.
class FillingDevice : public QBuffer {
public:
    explicit FillingDevice(qint64 limit)
        : m_limit(limit)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        return size() + len > m_limit ? -1 : QBuffer::writeData(data, len);
    }

private:
    qint64 m_limit;
};

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void recordLayout()
    {
        state::Snapshot s;
        s.entries = QStringList{"/a/1.mp3", "/a/2.mp3", "/a/3.mp3"};
        QCOMPARE(state::encode(s).size(), 20 * 255);
        s.entries.clear();
        QCOMPARE(state::encode(s).size(), 14 * 255);
        // Records past the end read as 0 or "".
        const state::Records r(state::encode(s).left(300));
        QCOMPARE(r.readInt(10), int16_t(0));
        QCOMPARE(*r.readString(2), QString());
        QCOMPARE(r.readInt(1), int16_t(0));
        // A length that no record can hold marks the record damaged.
        QVERIFY(!state::Records(intRecord(300)).readString(1));
        QVERIFY(!state::Records(intRecord(-5)).readString(1));
        // Greek text keeps its bytes; a text too long for a record is never cut.
        state::Records w;
        QVERIFY(w.writeString(1, QStringLiteral("Μουσική")));
        QCOMPARE(*w.readString(1), QStringLiteral("Μουσική"));
        QVERIFY(!w.writeString(2, QString(200, QChar(u'Ω'))));
        QCOMPARE(*w.readString(2), QString());
        QVERIFY(state::fitsRecord(QString(253, 'a')) && !state::fitsRecord(QString(254, 'a')));

        // Written a few records at a time, a playlist longer than one batch comes out as
        // its records written one by one; a device that fills up fails the whole write.
        s.drive = QStringLiteral("/");
        s.currentEntry = QStringLiteral("/m/Ωδή.mp3");
        s.playedMarks = {1, 0, 1};
        s.videoMode = 1;
        for (int i = 0; i < 600; ++i)
            s.entries.append(i == 300 ? QString(300, 'x') : QStringLiteral("/m/%1 Ωδή.mp3").arg(i));
        const int n = 599;
        state::Records one;
        one.writeString(1, s.drive);
        one.writeString(2, s.folder);
        one.writeInt(3, s.lastIndex);
        one.writeInt(4, s.resumePos);
        one.writeString(5, s.currentEntry);
        one.writeInt(6, s.volume);
        one.writeInt(7, s.shuffleOn);
        one.writeInt(8, s.previewOn);
        one.writeInt(9, s.previewSecs);
        one.writeInt(10, int16_t(n));
        for (int i = 0; i <= n; ++i)
            one.writeInt(state::marksRecord(i), i < 3 ? s.playedMarks[size_t(i)] : int16_t(0));
        one.writeInt(state::subdirsRecord(n), 0);
        one.writeInt(state::selectAllRecord(n), 0);
        one.writeInt(state::replayRecord(n), 0);
        for (int i = 0; i <= n; ++i)
            one.writeString(state::entryRecord(n, i), s.entries[i]);
        one.writeInt(state::videoRecord(n), 1);
        QCOMPARE(state::encode(s), one.bytes());
        FillingDevice roomy(one.bytes().size()), full(one.bytes().size() - 1);
        QVERIFY(state::encodeTo(roomy, s));
        QVERIFY(!state::encodeTo(full, s));
    }

    void handMadeFileIsRestored()
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
        QCOMPARE(app.m.stateFolder, cwd.path() + "/");
        QCOMPARE(f.Dir1->path(), h.folder);
        QCOMPARE(f.List2->count(), 3);
        QCOMPARE(f.List2->text(0), QStringLiteral("/nowhere/a.mp3"));
        QCOMPARE(app.m.volume, int16_t(-800));
        QCOMPARE(f.HScroll1->value(), -800);
        QCOMPARE(app.m.previewSecs, int16_t(20));
        QVERIFY(f.mnumorepreview->isChecked() && f.mnumoreduration->isEnabled());
        QVERIFY(!f.mnumorereplayn[0]->isChecked() && !f.mnumorereplayn[1]->isChecked()
                && f.mnumorereplayn[2]->isChecked());
        QVERIFY(f.mnuvideohide->isChecked());
        QCOMPARE(app.m.playedMarks[0], int16_t(-1));
        QCOMPARE(app.m.playedMarks[1], int16_t(-1)); // the resumed entry is marked
        QCOMPARE(app.m.currentFile, QStringLiteral("/nowhere/b.mp3"));
        QVERIFY(dialogs.messages.empty());

        // Saving writes the same playlist back, the file now exactly 16 + 2N records.
        app.session().SaveState();
        const state::Records r(readFile(cwd.file("velloran.txt")));
        QCOMPARE(r.bytes().size(), 20 * 255);
        QCOMPARE(*r.readString(2), h.folder);
        QCOMPARE(r.readInt(3), int16_t(1));
        QCOMPARE(*r.readString(5), QStringLiteral("/nowhere/b.mp3"));
        QCOMPARE(r.readInt(6), int16_t(-800));
        QCOMPARE(*r.readString(state::entryRecord(2, 2)), QStringLiteral("/nowhere/c.mp3"));
        QCOMPARE(r.readInt(state::replayRecord(2)), int16_t(2));
        QCOMPARE(r.readInt(state::videoRecord(2)), int16_t(-1));
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
        ListBox &list = *app.form1().List2;
        QCOMPARE(list.text(0), QStringLiteral("/nowhere/Αγάπη.mp3"));
        QCOMPARE(app.m.currentFile, h.current);
        QCOMPARE(app.m.lastIndex, int16_t(0));
        QCOMPARE(app.m.playedMarks[1], int16_t(-1)); // Άλμπουμ stays played
        QCOMPARE(app.m.playedMarks[2], int16_t(0));
        QVERIFY(dialogs.messages.empty());
    }

    void blankEntriesGiveTheReconciliationMessage()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/x/1.mp3", "/x/2.mp3", " ", "/x/4.mp3", "/x/5.mp3"};
        h.current = "/x/gone.mp3";
        h.last = 4;
        h.pos = 3725;
        writeFile(cwd.file("velloran.txt"), h.bytes());
        App app({testkit::headless()});
        app.Form_Load();
        QCOMPARE(app.form1().List2->count(), 4);
        QCOMPARE(dialogs.messages.size(), size_t(1));
        const auto &msg = dialogs.messages[0];
        QCOMPARE(msg.style, dialogs::Style::OkExclamation);
        QCOMPARE(msg.title, QStringLiteral("Brastomere"));
        QCOMPARE(msg.text,
                 QStringLiteral("Ο αριθμός των αρχείων του καταλόγου άλλαξε από 5 σε 4, διαφορά-1 αρχείων."
                                " Το αρχείο που αναπαράχθηκε την τελευταία φορά ήταν το /x/gone.mp3"
                                " και ο χρόνος αναπαραγωγής διήρκησε  1: 2: 5 δευτερόλεπτα.\r\n"
                                "\r\nThe number of files presented in the currend folder has been changed"
                                " from 5 to 4, difference is-1 files. The file that was last time"
                                " reproduced was /x/gone.mp3"));
        QCOMPARE(app.m.resumePos, int16_t(0));
    }

    void noMessageInShuffleOrWithoutName()
    {
        for (const bool shuffle : {true, false}) {
            testkit::ScratchCwd cwd;
            testkit::DialogRecorder dialogs;
            HandFile h;
            h.folder = cwd.path();
            h.entries = QStringList{"/x/1.mp3", ""};
            h.current = shuffle ? QStringLiteral("/x/1.mp3") : QString();
            h.shuffle = shuffle ? -1 : 0;
            writeFile(cwd.file("velloran.txt"), h.bytes());
            App app({testkit::headless()});
            app.Form_Load();
            QVERIFY(dialogs.messages.empty());
            QCOMPARE(app.form1().List2->isEnabled(), !shuffle);
        }
    }

    void missingFileGivesDefaults()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        QVERIFY(QFile::exists(cwd.file("velloran.txt")));
        QCOMPARE(app.m.previewSecs, int16_t(10));
        QCOMPARE(app.m.replayMode, int16_t(0));
        QVERIFY(app.form1().mnumorereplayn[0]->isChecked());
        QVERIFY(!app.form1().mnumorereplayn[1]->isChecked());
        QCOMPARE(app.form1().List2->count(), 0);
        QCOMPARE(app.m.playedMarks.size(), size_t(1));
        QVERIFY(dialogs.messages.empty());
    }

    void goneSavedFolderKeepsTheFolderShown()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.file("gone/away");
        writeFile(cwd.file("velloran.txt"), h.bytes());
        {
            App app({testkit::headless()});
            app.Form_Load();
            QCOMPARE(app.form1().Dir1->path(), QDir::currentPath());
            QCOMPARE(app.form1().Drive1->drive(), DriveBox::driveOf(QDir::currentPath()));
            app.session().SaveState();
        }
        const state::Records r(readFile(cwd.file("velloran.txt")));
        QCOMPARE(r.readString(2).value_or(QString()), QDir::currentPath());
    }

    void damagedFilesNeverBreakTheProgram()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
        h.current = "/x/2.mp3";
        h.last = 1;
        const QByteArray good = h.bytes();
        App app({testkit::headless()});
        app.Form_Load();
        QRandomGenerator rng(20261205);
        for (int round = 0; round < 400; ++round) {
            QByteArray b = good;
            switch (round % 4) {
            case 0:
                b.truncate(rng.bounded(b.size()));
                break;
            case 1:
                for (int k = 0; k < 8; ++k)
                    b[rng.bounded(b.size())] = char(1 << rng.bounded(8));
                break;
            case 2:
                b.resize(rng.bounded(3000));
                for (auto &c : b)
                    c = char(rng.bounded(256));
                break;
            case 3:
                b.replace(9 * 255, 2, intRecord(int16_t(rng.bounded(-3, 32768))));
                break;
            }
            writeFile(cwd.file("velloran.txt"), b);
            app.session().LoadState();
            const ListBox &list = *app.form1().List2;
            QVERIFY(list.count() <= 32767);
            QVERIFY(app.m.playedMarks.size() >= size_t(std::max(1, list.count())));
            QVERIFY(app.m.lastIndex >= -1);
        }
        // Still a working program: a save and a clean restore.
        writeFile(cwd.file("velloran.txt"), good);
        app.session().LoadState();
        QCOMPARE(app.form1().List2->count(), 3);
    }

    void interruptedSaveKeepsTheOldFile()
    {
        testkit::ScratchCwd cwd;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/x/keep.mp3"};
        const QByteArray old = h.bytes();
        writeFile(cwd.file("velloran.txt"), old);
        // A save that died before its rename leaves only a temporary file beside the old.
        writeFile(cwd.file("velloran.txt.AbCdEf"), QByteArray(100, '\0'));
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        QCOMPARE(app.form1().List2->count(), 1);
        QCOMPARE(readFile(cwd.file("velloran.txt")), old);
        // A save that cannot write leaves the old file as it was.
        QFile::remove(cwd.file("velloran.txt"));
        QVERIFY(QDir(cwd.path()).mkdir("velloran.txt"));
        app.session().SaveState();
        QVERIFY(QFileInfo(cwd.file("velloran.txt")).isDir());
    }

    void hugeFileStartsLikeANormalOne()
    {
        // Peak memory of the whole process, which has not yet read a big file.
        const auto peakMiB = [] {
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            return u.ru_maxrss / 1024;
        };
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        HandFile h;
        h.folder = cwd.path();
        h.entries = QStringList{"/x/1.mp3", "/x/2.mp3", "/x/3.mp3"};
        h.current = "/x/2.mp3";
        h.last = 1;
        h.volume = -300;
        h.replay = 2;
        const QString path = cwd.file("velloran.txt");
        writeFile(path, h.bytes());
        qint64 normalMs = 0;
        {
            QElapsedTimer t;
            t.start();
            App app({testkit::headless()});
            app.Form_Load();
            normalMs = t.elapsed();
        }
        // Growth over a normal start, so that a sanitizer's own memory does not count.
        const auto normalPeak = peakMiB();

        // Two gigabytes of holes behind the valid records.
        QFile f(path);
        QVERIFY(f.resize(f.size() + (qint64(2) << 30)));
        QElapsedTimer t;
        t.start();
        App app({testkit::headless()});
        app.Form_Load();
        QVERIFY2(t.elapsed() < normalMs + 1000, qPrintable(QString::number(t.elapsed())));
        QVERIFY2(peakMiB() < normalPeak + 80, qPrintable(QString::number(peakMiB())));
        QCOMPARE(app.form1().List2->count(), 3);
        QCOMPARE(app.m.lastIndex, int16_t(1));
        QCOMPARE(app.m.volume, int16_t(-300));
        QCOMPARE(app.m.replayMode, int16_t(2));
        QVERIFY(dialogs.messages.empty());
        // The save drops the tail.
        app.session().SaveState();
        QCOMPARE(QFileInfo(path).size(), qint64(20 * 255));

        // A count that claims the longest playlist reads no further than its records reach.
        QByteArray claims = h.bytes();
        claims.replace(9 * 255, 255, intRecord(32766));
        writeFile(path, claims);
        QVERIFY(f.resize(f.size() + (qint64(2) << 30)));
        App again({testkit::headless()});
        again.Form_Load();
        QVERIFY2(peakMiB() < normalPeak + 80, qPrintable(QString::number(peakMiB())));
        QCOMPARE(again.m.playedMarks.size(), size_t(32767));

        // A FIFO in the file's place starts like a missing file, and the save replaces it.
        QVERIFY(QFile::remove(path));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        App fifo({testkit::headless()});
        fifo.Form_Load();
        QCOMPARE(fifo.form1().List2->count(), 0);
        fifo.session().SaveState();
        QCOMPARE(QFileInfo(path).size(), qint64(14 * 255));
    }
};

QTEST_MAIN(TestSession)
#include "test_session.moc"
