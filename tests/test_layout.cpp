// The main window on small and large screens, and the status line's room.

#include "session/app.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

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
        for (const QString &report :
             {QStringLiteral("Αριθμός αρχείων που Προστέθηκαν - Number of Added files : 32000"),
              QStringLiteral("Αφαιρούνται αρχεία των επιλεγμένων υποφακέλων - Subtracting files of the selected subdirectories")}) {
            f.Text2->setText(report);
            const int need = f.Text2->fontMetrics().horizontalAdvance(report);
            QVERIFY2(f.Text2->width() > need + 8, qPrintable(report));
            QCOMPARE(f.Text2->toolTip(), report);
        }
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
