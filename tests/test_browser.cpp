// File patterns, the folder listing and the sorted list box.

#include "playlist/wildcard.h"
#include "ui/listbox.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QScrollBar>
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

    void listModelKeepsTheModelContractThroughEveryEdit()
    {
        ListBox box(ListBox::Selection::Checks);
        QAbstractItemModelTester tester(box.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        box.enableHorizontalScroll();
        box.setItems({"c/", "a/"});
        box.addItem("b/");
        box.addItems({"d/", "B/"});
        box.setSelected(1, true);
        box.keepItems({1, 1, 0, 1, 1});
        box.removeItem(0);
        QCOMPARE(box.count(), 3);
        QVERIFY(box.isSelected(0));
        box.clear();
        QCOMPARE(box.count(), 0);
    }

    void rowsAreWholeAsTheWidestComesAndGoes()
    {
        ListBox box;
        box.enableHorizontalScroll();
        box.resize(160, 200);
        box.show();
        const QString longRow = "/m/bΜάρκος B/" + QString(60, QChar(u'ω')) + ".mp3";
        box.setItems({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/z.mp3"});
        const auto width
            = [&](int row) { return box.model()->data(box.model()->index(row, 0), Qt::SizeHintRole).toSize().width(); };
        const int shortWidth = width(3);
        QVERIFY(shortWidth >= box.fontMetrics().horizontalAdvance("/m/z.mp3"));
        // The long row in the middle: every row, the last included, takes its width.
        const int at = box.addItem(longRow);
        QCOMPARE(at, 2);
        const int need = box.fontMetrics().horizontalAdvance(longRow);
        QVERIFY(width(box.count() - 1) >= need);
        QApplication::processEvents();
        QVERIFY(box.visualRect(box.model()->index(at, 0)).width() >= need);
        QVERIFY(box.horizontalScrollBar()->maximum() > 0);
        QCOMPARE(box.textElideMode(), Qt::ElideNone);
        // Gone again: back to the short rows' width.
        box.removeItem(at);
        QCOMPARE(width(0), shortWidth);
        box.addItems({longRow});
        QVERIFY(width(0) >= need);
        box.keepItems({1, 1, 0, 1, 1});
        QCOMPARE(box.count(), 4);
        QCOMPARE(width(2), shortWidth);
    }

    void playingRowIsNamedSoWithoutChangingItsText()
    {
        ListBox box;
        box.markCurrentAsPlaying();
        box.setItems({"/m/a.mp3", "/m/b.mp3"});
        box.selectOnly({0});
        box.setListIndex(1);
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&box);
        QVERIFY(list);
        const auto name = [&](int row) {
            QAccessibleInterface *item = list->child(row);
            return item ? item->text(QAccessible::Name) : QString();
        };
        QCOMPARE(name(1), QStringLiteral("/m/b.mp3 - Παίζει - Playing"));
        QCOMPARE(name(0), QStringLiteral("/m/a.mp3"));
        QCOMPARE(box.text(1), QStringLiteral("/m/b.mp3"));
        QVERIFY(box.isSelected(0) && !box.isSelected(1));
        box.setListIndex(0);
        QCOMPARE(name(0), QStringLiteral("/m/a.mp3 - Παίζει - Playing"));
        QCOMPARE(name(1), QStringLiteral("/m/b.mp3"));
    }

    void checkRowsToggleFromAScreenReaderAsWithSpace()
    {
        ListBox box(ListBox::Selection::Checks);
        box.setItems({"/m/b", "/m/c"});
        box.resize(200, 100);
        box.show();
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&box);
        QVERIFY(list && list->childCount() == 2);
        const auto toggle = [&](int row) {
            QAccessibleInterface *item = list->child(row);
            QVERIFY(item && item->actionInterface());
            QVERIFY(item->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        };
        toggle(1);
        QVERIFY(box.isSelected(1) && !box.isSelected(0));
        QVERIFY(list->child(1)->state().checkable && list->child(1)->state().checked);
        // Space on the current row does the same to the same row.
        box.setFocus();
        box.setListIndex(1);
        QTest::keyClick(&box, Qt::Key_Space);
        QVERIFY(!box.isSelected(1));
        QVERIFY(!list->child(1)->state().checked);
        // A row coming in moves the others: the interfaces follow the rows, not the indexes.
        box.addItem("/m/a");
        toggle(0);
        QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("/m/a"));
        QVERIFY(box.isSelected(0) && !box.isSelected(1) && !box.isSelected(2));
    }
};

QTEST_MAIN(TestBrowser)
#include "test_browser.moc"
