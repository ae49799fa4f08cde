// File patterns, the folder listing and the sorted list box.

#include "playlist/wildcard.h"
#include "ui/listbox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestBrowser : public QObject {
    Q_OBJECT
private slots:
    void patternsMatchWithoutCase()
    {
        const wildcard::Pattern p(QStringLiteral("*.mid;*.rmi;*.midi"));
        QVERIFY(p.matches("a.mid"));
        QVERIFY(p.matches("B.MIDI"));
        QVERIFY(p.matches("x y.Rmi"));
        QVERIFY(!p.matches("a.mid.txt"));
        QVERIFY(!p.matches("amid"));
        QVERIFY(wildcard::Pattern("*.dvr-ms").matches("show.DVR-MS"));
        QVERIFY(!wildcard::Pattern("").matches("a.mp3"));
    }

    void listingLeavesOutHiddenAndSorts()
    {
        QTemporaryDir dir;
        for (const char *n : {"b.mp3", "A.MP3", ".hidden.mp3", "c.wav", "a2.mp3"}) {
            QFile f(dir.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir("folder.mp3"));
        bool ok = false;
        const QStringList got = wildcard::matchingFiles(dir.path(), wildcard::Pattern("*.mp3"), &ok);
        QVERIFY(ok);
        QCOMPARE(got, (QStringList{"A.MP3", "a2.mp3", "b.mp3"}));
        wildcard::matchingFiles(dir.filePath("nope"), wildcard::Pattern("*"), &ok);
        QVERIFY(!ok);
        QCOMPARE(wildcard::joinPath("/", "x"), QStringLiteral("/x"));
        QCOMPARE(wildcard::joinPath("/a", "x"), QStringLiteral("/a/x"));
    }

    void playlistKeepsCaseInsensitiveOrderAndFinds()
    {
        ListBox box;
        box.addItem("/m/b.mp3");
        box.addItem("/m/C.mp3");
        QCOMPARE(box.addItem("/m/A.mp3"), 0);
        QCOMPARE(box.text(2), QStringLiteral("/m/C.mp3"));
        QCOMPARE(box.findExact("/M/c.MP3"), 2);
        QCOMPARE(box.findExact("/m/c"), -1);
        QCOMPARE(box.findExact("/m/d.mp3"), -1);
        box.setListIndex(2);
        // A row added before the current one moves it down.
        box.addItem("/m/a0.mp3");
        QCOMPARE(box.listIndex(), 3);
        QCOMPARE(box.currentText(), QStringLiteral("/m/C.mp3"));
        box.removeItem(0);
        QCOMPARE(box.findExact("/m/a.mp3"), -1);
        QCOMPARE(box.count(), 3);
    }

    void selectionIsSeparateFromCurrentRow()
    {
        ListBox box;
        box.setItems({"c", "a", "b"});
        QCOMPARE(box.text(0), QStringLiteral("a"));
        box.selectOnly({0, 2});
        QVERIFY(box.isSelected(0) && !box.isSelected(1) && box.isSelected(2));
        box.setListIndex(1);
        QVERIFY(!box.isSelected(1));
        box.clearSelection();
        QVERIFY(!box.isSelected(0));
        ListBox checks(ListBox::Selection::Checks);
        checks.setItems({"x/", "y/"});
        checks.setSelected(1, true);
        QVERIFY(checks.isSelected(1) && !checks.isSelected(0));
    }
};

QTEST_MAIN(TestBrowser)
#include "test_browser.moc"
