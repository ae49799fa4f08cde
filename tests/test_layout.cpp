// The main window on small and large screens, and the status line's room.

#include "app/app.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void fitsASmallScreenAndGrowsOnALargeOne()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        const QSize least = f.minimumSizeHint().expandedTo(f.minimumSize());
        QVERIFY2(least.width() <= 1000 && least.height() <= 560,
                 qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
        // The playlist takes what a large screen offers.
        f.resize(1000, 560);
        QApplication::processEvents();
        const int small = f.List2->width();
        f.resize(1900, 1000);
        QApplication::processEvents();
        QVERIFY(f.List2->width() > small + 500);
        QVERIFY(f.List2->height() > 400);
    }

    void statusLineShowsItsLongestReportsWhole()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        f.resize(1024, 600);
        f.show();
        QApplication::processEvents();
        for (const QString &report : {QStringLiteral("Αριθμός αρχείων που Προστέθηκαν - Number of Added files : 32000"),
                                      QStringLiteral("Αφαιρούνται αρχεία των επιλεγμένων υποφακέλων - Subtracting "
                                                     "files of the selected subdirectories")}) {
            f.Text2->setText(report);
            const int need = f.Text2->fontMetrics().horizontalAdvance(report);
            QVERIFY2(f.Text2->width() > need + 8, qPrintable(report));
            QCOMPARE(f.Text2->toolTip(), report);
        }
    }

    void filterBoxWaitsForAChoiceAndBoxesAreNamed()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        f.show();
        QApplication::processEvents();
        const QString pattern = f.File1->pattern();
        const int row = f.Combo2->currentIndex();
        f.Combo2->setFocus();
        f.Combo2->lineEdit()->clear();
        QTest::keyClicks(f.Combo2->lineEdit(), "*.w");
        QTest::keyClick(f.Combo2->lineEdit(), Qt::Key_Tab);
        QTest::keyClick(f.Combo2, Qt::Key_Return);
        QApplication::processEvents();
        QCOMPARE(f.File1->pattern(), pattern);
        QCOMPARE(f.Combo2->currentIndex(), row);
        QCOMPARE(f.Combo2->lineEdit()->text(), QStringLiteral("*.w"));

        const auto name = [](QObject *o) {
            QAccessibleInterface *i = QAccessible::queryAccessibleInterface(o);
            return i ? i->text(QAccessible::Name) : QString();
        };
        // Combo boxes are announced by the label that names them.
        const auto label = [](QObject *o) {
            QAccessibleInterface *i = QAccessible::queryAccessibleInterface(o);
            QStringList names;
            for (const auto &rel : i->relations(QAccessible::Label))
                names.append(rel.first->text(QAccessible::Name));
            return names;
        };
        QCOMPARE(label(f.Drive1), QStringList{"Δίσκος - Drive"});
        QCOMPARE(label(f.Combo2), QStringList{"Τύπος αρχείων - File type"});
        QCOMPARE(name(f.Combo2->lineEdit()), QStringLiteral("Τύπος αρχείων - File type"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
