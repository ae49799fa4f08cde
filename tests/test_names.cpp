// File names that are not UTF-8: held byte for byte from the folder listing through the
// playlist, the player and the session file.

#include "app/app.h"
#include "base/fsname.h"
#include "playback/mpv_player.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <clocale>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray textRecord(const QByteArray &bytes)
{
    QByteArray r(state::kRecordSize, '\0');
    r[0] = char(bytes.size() & 0xff);
    r[1] = char(bytes.size() >> 8);
    r.replace(2, bytes.size(), bytes);
    return r;
}

QByteArray intRecord(int16_t v)
{
    QByteArray r(state::kRecordSize, '\0');
    r[0] = char(v & 0xff);
    r[1] = char((uint16_t(v) >> 8) & 0xff);
    return r;
}

} // namespace

class TestNames : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void bytesComeBackAsTheyWere()
    {
        const QByteArray cases[] = {"plain.mp3",
                                    "\xce\xb1\xce\xb2.mp3" /* UTF-8 Greek */,
                                    "caf\xe9.mp3" /* Latin-1 */,
                                    "\xe1\xe3\xdc\xf0\xe7.mp3" /* Windows-1253 */,
                                    "\xc0\xaf" /* overlong */,
                                    "\xed\xa0\x80" /* an encoded surrogate */,
                                    "end\xe2\x82" /* cut short */,
                                    "\xf4\x90\x80\x80" /* past U+10FFFF */,
                                    "\xf0\x9f\x8e\xb5 ok",
                                    "\xff\xfe\x80"};
        for (const QByteArray &b : cases) {
            const QString name = fsname::decode(b);
            QCOMPARE(fsname::encode(name), b);
            QCOMPARE(fsname::encodedSize(name), b.size());
            QVERIFY(!fsname::shown(name).contains(QChar(0xDCE9)));
        }
        QCOMPARE(fsname::decode(QByteArray("\xce\xb1\xce\xb2")), QStringLiteral("αβ"));
        QCOMPARE(fsname::decode(QByteArray("caf\xe9")), QString("caf") + QChar(0xDCE9));
        QCOMPARE(fsname::shown(fsname::decode(QByteArray("caf\xe9"))), QStringLiteral("caf\uFFFD"));
        // A real surrogate pair is a character, not two held bytes.
        QCOMPARE(fsname::encode(QStringLiteral("🎵")), QByteArray("\xf0\x9f\x8e\xb5"));
        // A dropped URL carries the same bytes percent-encoded.
        const QUrl dropped(QStringLiteral("file:///old/caf%E9%20%CE%B1.mp3"));
        QCOMPARE(fsname::encode(fsname::fromLocalUrl(dropped)), QByteArray("/old/caf\xe9 \xce\xb1.mp3"));
        QCOMPARE(fsname::fromLocalUrl(QUrl::fromLocalFile(QStringLiteral("/a b/Ζωή.mp3"))),
                 QStringLiteral("/a b/Ζωή.mp3"));
    }

    void listedAddedPlayedAndSavedByteForByte()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QByteArray folder = QFile::encodeName(cwd.file("old"));
        QVERIFY(QDir().mkpath(cwd.file("old")));
        const QString made = testkit::makeMedia(cwd.file("old"), "made.mp3", "mp3", 1.0);
        QVERIFY(!made.isEmpty());
        // A Windows-1253 folder holding a Latin-1 file.
        const QByteArray sub = folder + "/\xc4\xdf\xf3\xea\xef\xe9";
        QCOMPARE(::mkdir(sub.constData(), 0700), 0);
        const QByteArray raw = sub + "/caf\xe9 \xe1\xe3\xdc\xf0\xe7.mp3";
        QCOMPARE(::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
        {
            App app({testkit::headless()});
            app.Form_Load();
            Form1 &f = app.form1();
            QVERIFY(app.playlist().setDirPath(cwd.file("old")));
            // The folder box lists the folder and goes into it.
            const int row = f.Dir1->count() - 1;
            QCOMPARE(fsname::encode(f.Dir1->item(row)->data(Qt::UserRole).toString()), sub);
            QVERIFY(f.Dir1->item(row)->text().contains(QChar::ReplacementCharacter));
            QVERIFY(app.playlist().setDirPath(fsname::decode(sub)));
            QCOMPARE(f.File1->files().size(), 1);
            f.Option1[0]->setChecked(true);
            app.playlist().Command4_Click();
            QCOMPARE(f.List2->count(), 1);
            const QString entry = f.List2->text(0);
            QCOMPARE(fsname::encode(entry), raw);
            QCOMPARE(::access(fsname::encode(entry).constData(), R_OK), 0);
            // Shown with a stand-in, never as the bytes' wrong letters.
            QVERIFY(f.List2->model()->index(0, 0).data().toString().contains(QChar::ReplacementCharacter));

            MpvPlayer player(testkit::headless());
            player.setFileName(entry);
            QVERIFY(player.Duration() > 0.5);
            app.session().SaveState();
        }
        QVERIFY(bytesOf(cwd.file("velloran.txt")).contains(raw));
    }

    // A file that is there but does not play is not missing, whatever its name's bytes.
    void unplayableFileIsNotMissing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9.mp3");
        QTest::newRow("latin-1") << QByteArray("caf\xe9.mp3");
    }
    void unplayableFileIsNotMissing()
    {
        QFETCH(QByteArray, name);
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QByteArray path = QFile::encodeName(cwd.path()) + '/' + name;
        FILE *junk = std::fopen(path.constData(), "wb");
        QVERIFY(junk);
        std::fputs("not a sound", junk);
        std::fclose(junk);
        state::Snapshot s;
        s.folder = cwd.path();
        s.entries = {fsname::decode(path)};
        s.lastIndex = 0;
        s.currentEntry = s.entries[0];
        QFile out(cwd.file("velloran.txt"));
        QVERIFY(out.open(QIODevice::WriteOnly) && state::encodeTo(out, s));
        out.close();
        App app({testkit::headless()});
        app.Form_Load();
        QVERIFY(testkit::waitFor([&] { return app.form1().Text2->text().contains("Cannot open file"); }, 10000));
    }

    void handMadeSessionKeepsItsBytes()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QByteArray a = QFile::encodeName(cwd.path()) + "/\xc1\xe8na.mp3";
        const QByteArray b = QFile::encodeName(cwd.path()) + "/z\xe9.mp3";
        // Drive, folder, index, second, file, volume, shuffle, preview, seconds, N, marks,
        // subfolders, all, replay, entries, video.
        const QByteArray file = textRecord("/") + textRecord(QFile::encodeName(cwd.path())) + intRecord(-1)
            + intRecord(0) + textRecord("") + intRecord(0) + intRecord(0) + intRecord(0) + intRecord(10) + intRecord(1)
            + intRecord(0) + intRecord(0) + intRecord(0) + intRecord(0) + intRecord(0) + textRecord(a) + textRecord(b)
            + intRecord(0);
        QFile out(cwd.file("velloran.txt"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        {
            App app({testkit::headless()});
            app.Form_Load();
            QCOMPARE(app.form1().List2->count(), 2);
            app.session().SaveState();
        }
        const QByteArray saved = bytesOf(cwd.file("velloran.txt"));
        // The list sorts them, so each whole record is looked for on its own.
        const QByteArray entries = saved.mid(15 * state::kRecordSize, 2 * state::kRecordSize);
        QCOMPARE(entries.size(), 2 * state::kRecordSize);
        QVERIFY(entries.startsWith(textRecord(a)) || entries.endsWith(textRecord(a)));
        QVERIFY(entries.startsWith(textRecord(b)) || entries.endsWith(textRecord(b)));
    }
};

QTEST_MAIN(TestNames)
#include "test_names.moc"
