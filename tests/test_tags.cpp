// ID3v1 tags against an independent reader (ffprobe), the tag fields of the
// main window and the information texts.

#include "info/info.h"
#include "playback/playback.h"
#include "tags/id3v1.h"
#include "tags/tags.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QTest>

namespace {

const QByteArray kGreekTitle = "\xcb\xe1\xfa\xea\xfc \xf4\xf1\xe1\xe3\xef\xfd\xe4\xe9"; // Λαϊκό τραγούδι

// An mp3 without any tag, so that readers see only the ID3v1 record we test.
QString bareMp3(const QString &dir, const QString &name)
{
    const QString out = QDir(dir).filePath(name);
    QProcess p;
    p.start("ffmpeg",
            {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "libmp3lame",
             "-q:a", "9", "-id3v2_version", "0", "-write_id3v1", "0", "-map_metadata", "-1", out});
    p.waitForFinished(60000);
    return p.exitCode() == 0 ? out : QString();
}

// ffprobe's view of the tags as raw bytes (its validation off: ID3v1 text is not UTF-8).
QMap<QByteArray, QByteArray> ffprobeTags(const QString &file)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1:sv=ignore", file});
    p.waitForFinished(60000);
    QMap<QByteArray, QByteArray> tags;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (line.startsWith("TAG:") && eq > 0)
            tags.insert(line.mid(4, eq - 4), line.mid(eq + 1));
    }
    return tags;
}

} // namespace

class TestTags : public QObject {
    Q_OBJECT

private slots:
    void codec()
    {
        QCOMPARE(id3v1::toCp1253(QStringLiteral("Λαϊκό τραγούδι")), kGreekTitle);
        QCOMPARE(id3v1::fromCp1253(kGreekTitle), QStringLiteral("Λαϊκό τραγούδι"));
        QCOMPARE(id3v1::toCp1253(QStringLiteral("日")), QByteArray("?"));
        QCOMPARE(id3v1::fitField(QString(35, 'x'), 30), QString(30, 'x'));
        QCOMPARE(id3v1::fitField("99", 4), QStringLiteral("99  "));
        QCOMPARE(id3v1::shownText(QString::fromLatin1("Song  \0\0\0  ", 12)), QStringLiteral("Song"));
        QCOMPARE(id3v1::shownText("\tTab   "), QStringLiteral("\tTab"));
        // Genre: rows 0-8 are the digits, "0" and other bytes no row, and every row returns.
        QCOMPARE(id3v1::genreRowFromByte('5'), 4);
        for (int row = -1; row <= 38; ++row)
            QCOMPARE(id3v1::genreRowFromByte(id3v1::genreByteForRow(row)), row);
        // Rows 9-38 stay clear of the numeric genres other taggers write (0-191, 255).
        QCOMPARE(id3v1::genreByteForRow(9), uchar(192));
        QCOMPARE(id3v1::genreByteForRow(38), uchar(221));
        for (const uchar byte : {uchar('0'), uchar(':'), uchar(191), uchar(222), uchar(255)})
            QCOMPARE(id3v1::genreRowFromByte(byte), -1);

        QByteArray rec = id3v1::encode({"T", "A", "B", "2007", "C", 4});
        QCOMPARE(rec.mid(3, 30), QByteArray("T").leftJustified(30, ' '));
        QCOMPARE(rec[127], '5');
        rec[0] = 't';
        QVERIFY(!id3v1::decode(rec));
    }

    // Saved by us, read by ffprobe; the audio before the record never moves.
    void independentToolsAgree()
    {
        QTemporaryDir dir;
        const QString mp3 = bareMp3(dir.path(), "song.mp3");
        QVERIFY(!mp3.isEmpty());
        const QByteArray audio = testkit::readAll(mp3);
        QCOMPARE(id3v1::writeFile(mp3, {"New", "", "", "", "", -1}), id3v1::Saved::Appended);
        QCOMPARE(uchar(testkit::readAll(mp3).back()), id3v1::kNoGenre);
        QCOMPARE(id3v1::writeFile(mp3, {"Ρεμπέτικο", "Ένας", "Δίσκος", "07", "Σχόλιο", 4}), id3v1::Saved::Updated);
        const QByteArray after = testkit::readAll(mp3);
        QCOMPARE(after.size(), audio.size() + 128);
        QCOMPARE(after.left(audio.size()), audio);
        const auto probe = ffprobeTags(mp3);
        QCOMPARE(id3v1::fromCp1253(probe["title"]), QStringLiteral("Ρεμπέτικο"));
        QCOMPARE(id3v1::fromCp1253(probe["artist"]), QStringLiteral("Ένας"));
        QCOMPARE(id3v1::fromCp1253(probe["album"]), QStringLiteral("Δίσκος"));
        QCOMPARE(id3v1::fromCp1253(probe["comment"]), QStringLiteral("Σχόλιο"));
        QCOMPARE(probe["date"].trimmed(), QByteArray("07"));

        // Short files, folders and missing files are no record and never an error.
        QFile shortFile(dir.filePath("short.mp3"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write("TAGxyz");
        shortFile.close();
        QVERIFY(!id3v1::readFile(shortFile.fileName()));
        QVERIFY(!id3v1::readFile(dir.path()));
        QVERIFY(!id3v1::readFile(dir.filePath("none.mp3")));
        QCOMPARE(id3v1::writeFile(dir.path(), {}), id3v1::Saved::NotAFile);
        QCOMPARE(id3v1::writeFile(dir.filePath("none.mp3"), {}), id3v1::Saved::NotWritable);
        QCOMPARE(id3v1::writeFile(shortFile.fileName(), {"S", "", "", "", "", 0}), id3v1::Saved::Appended);
        QCOMPARE(testkit::readAll(shortFile.fileName()).left(6), QByteArray("TAGxyz"));
        QCOMPARE(testkit::readAll(shortFile.fileName()).size(), 6 + 128);
    }

    void tagFieldsOnTheMainWindow()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        const QString a = bareMp3(fx.cwd.path(), "a.mp3");
        const QString b = bareMp3(fx.cwd.path(), "b.mp3");
        QCOMPARE(id3v1::writeFile(a, {"Title", "Artist", "Album", "2001", "Comment", 4}), id3v1::Saved::Appended);
        // Genre "5" shows Disco.
        f.List2->setItems({a, b});
        app.playback().setList2Index(0);
        QVERIFY(testkit::waitFor([&] { return f.Text1[0]->text() == "Title"; }, 2000));
        QCOMPARE(f.Text1[3]->text(), QStringLiteral("2001"));
        QCOMPARE(f.Combo1->currentText(), QStringLiteral("Disco"));
        // No record: empty boxes, no genre.
        app.playback().setList2Index(1);
        QCOMPARE(f.Text1[0]->text(), QString());
        QCOMPARE(f.Combo1->currentIndex(), -1);

        // Saving: the box's text, no genre leaves the last byte, row 0 writes "1".
        app.playback().setList2Index(0);
        QVERIFY(testkit::waitFor([&] { return f.Text1[0]->text() == "Title"; }, 2000));
        const char lastBefore = testkit::readAll(a).back();
        f.Text1[0]->setText("New");
        f.Combo1->setCurrentIndex(-1);
        app.tags().mnumoretags_Click();
        const QByteArray bytes = testkit::readAll(a);
        QCOMPARE(bytes.right(125).mid(0, 3), QByteArray("New"));
        QCOMPARE(bytes.back(), lastBefore);
        f.Combo1->setCurrentIndex(0);
        app.tags().mnumoretags_Click();
        QCOMPARE(uchar(testkit::readAll(a).back()), uchar(49));
        QVERIFY(fx.dialogs.messages.empty());
    }

    // Fixed texts: the pieces, the blank line before the signature and the old spelling.
    void informationTexts()
    {
        testkit::Fixture fx;
        fx.start().info().mnuinfoEn_Click();
        fx.app->info().mnuinfogr_Click();
        QCOMPARE(fx.dialogs.messages.size(), size_t(2));
        const QString en = fx.dialogs.messages[0].text, gr = fx.dialogs.messages[1].text;
        const QString end = QStringLiteral("\r\n\r\nΗ ομάδα του Velloran - The Velloran team, 2007");
        QVERIFY(en.startsWith("This program has a simply usefull function as utility. It reproduces all multimedia "
                              "files as presented in a directory, and remebers the last directory"));
        QVERIFY(en.contains(" movies or like to hear long mixed music files or speeches. Infact the user won't"));
        QVERIFY(en.endsWith("Preview Mode just some seconds of every file and not all of it." + end));
        QVERIFY(gr.endsWith("αναπαράγει κάθε αρχείο για ορισμένα μόνο δευτερόλεπτα." + end));
    }
};

QTEST_MAIN(TestTags)
#include "test_tags.moc"
