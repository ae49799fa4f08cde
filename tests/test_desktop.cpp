// The program among the desktop's pieces: the tray icon and its menu, the autostart entry,
// keyboard and screen readers, and the main window on small and large screens.

#include "app/app.h"
#include "app/shell.h"
#include "playback/player.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/listbox.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

namespace {

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// desktop-file-validate's verdict: empty when the entry passes, its complaints otherwise.
QString validate(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("desktop-file-validate"), {path});
    p.waitForFinished(10000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitCode() == 0 && !out.contains(QStringLiteral("error:")) ? QString() : out + QStringLiteral("(failed)");
}

// Catches the links the program opens instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

QString accessibleName(QObject *o)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(QAccessible::Name) : QString();
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void autostartEntry()
    {
        testkit::Fixture fx;
        const QString entry = Shell::autostartPath("velloran");
        QVERIFY(entry.startsWith(fx.cwd.path()));
        QVERIFY(entry.endsWith("/autostart/velloran.desktop"));
        QVERIFY(!Shell::RunAtStartupIsSet("velloran"));

        // Check, in a folder with spaces and a quote: the Exec line names the program whole.
        const QString folder = fx.cwd.path() + "/My \"Programs\"";
        Shell::SetRunAtStartup("velloran", folder, true, fx.cwd.path() + "/");
        QVERIFY(Shell::RunAtStartupIsSet("velloran"));
        const QString text = readText(entry);
        QVERIFY2(text.contains("\nExec=\"" + fx.cwd.path() + "/My \\\\\"Programs\\\\\"/velloran\"\n"),
                 qPrintable(text));
        QVERIFY(text.contains("\nPath=" + fx.cwd.path() + "/\n"));
        if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QFAIL("desktop-file-validate is not installed (make test installs it)");
        QCOMPARE(validate(entry), QString());

        // Uncheck, and uncheck again when the entry is already gone: both silent.
        Shell::SetRunAtStartup("velloran", folder, false);
        QVERIFY(!Shell::RunAtStartupIsSet("velloran"));
        Shell::SetRunAtStartup("velloran", folder, false);
        QVERIFY(fx.dialogs.messages.empty());

        // Another content under the right name still counts as set.
        QFile other(entry);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("not an entry at all");
        other.close();
        QVERIFY(Shell::RunAtStartupIsSet("velloran"));
        QVERIFY(!Shell::RunAtStartupIsSet("velloranx"));
    }

    void autostartBlockedPaths()
    {
        // A file where the folder should be, then a folder where the entry should be:
        // the two messages, and neither lets the state look set by mistake.
        testkit::Fixture fx;
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(QDir().mkpath(config));
        QFile blocker(config + "/autostart");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Shell::SetRunAtStartup("velloran", "/opt/v", true);
        QCOMPARE(fx.dialogs.messages.size(), size_t(1));
        QCOMPARE(fx.dialogs.messages[0].text,
                 QStringLiteral("Error %1 opening key\r\n").arg(ENOTDIR) + QString::fromLocal8Bit(strerror(ENOTDIR)));

        QVERIFY(QFile::remove(config + "/autostart"));
        QVERIFY(QDir().mkpath(config + "/autostart/velloran.desktop/inside"));
        Shell::SetRunAtStartup("velloran", "/opt/v", true);
        QCOMPARE(fx.dialogs.messages.size(), size_t(2));
        QVERIFY2(fx.dialogs.messages[1].text.startsWith(QStringLiteral("Error %1 setting key\r\n").arg(EISDIR)),
                 qPrintable(fx.dialogs.messages[1].text));
    }

    void checkMarkFollowsTheEntry()
    {
        testkit::Fixture fx;
        Shell::SetRunAtStartup(Shell::executableName(), "/opt/v", true);
        App &app = fx.start();
        Form1 &f = app.form1();
        QVERIFY(f.mnumorewindows->isChecked());
        f.mnumorewindows->trigger(); // unchecks and removes
        QVERIFY(!f.mnumorewindows->isChecked());
        QVERIFY(!Shell::RunAtStartupIsSet(Shell::executableName()));
        f.mnumorewindows->trigger(); // the entry starts the program in the session's folder
        QVERIFY(readText(Shell::autostartPath(Shell::executableName())).contains("\nPath=" + fx.cwd.path() + "/\n"));
    }

    void trayClicksAndMenu()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        app.shell().trayAvailable = [] { return true; };
        QVERIFY(f.isVisible());

        QStringList items;
        for (QAction *a : f.mnusystemtray->actions())
            items << a->text();
        QCOMPARE(items, (QStringList{"Επόμενο - Next", "Παύση - Pause", "Τυχαία - Suffle", "Έξοδος - Quit"}));

        // Only the left click (Trigger) hides and shows; the others leave the window alone.
        app.shell().trayActivated(QSystemTrayIcon::Context);
        app.shell().trayActivated(QSystemTrayIcon::DoubleClick);
        app.shell().trayActivated(QSystemTrayIcon::MiddleClick);
        QVERIFY(f.isVisible());
        app.shell().trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!f.isVisible());
        QVERIFY(f.windowState() & Qt::WindowMinimized);
        app.shell().trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(f.isVisible());
        QVERIFY(!(f.windowState() & Qt::WindowMinimized));

        // Without a tray the window is never hidden: nothing could bring it back.
        app.shell().trayAvailable = [] { return false; };
        app.shell().trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(f.isVisible());

        // Shuffle from the tray is the main menu's switch.
        const bool shuffled = f.mnusystemtraysuffle->isChecked();
        f.mnusystemtraysuffle->trigger();
        QCOMPARE(f.mnusystemtraysuffle->isChecked(), !shuffled);
    }

    void keyboardAndScreenReaders()
    {
        testkit::Fixture fx;
        const QStringList files{testkit::makeMedia(fx.cwd.path(), "a.wav", "wav", 3),
                                testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 3)};
        App &app = fx.start();
        Form1 &f = app.form1();

        // Every control reachable by Tab, and every menu item, has a name for screen readers.
        QStringList unnamed;
        // (a combo box's own editor and list are named through the box)
        const auto inCombo = [](QWidget *w) {
            for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
                if (qobject_cast<QComboBox *>(p) || p->inherits("QComboBoxPrivateContainer"))
                    return true;
            return false;
        };
        for (QWidget *w : f.findChildren<QWidget *>())
            if ((w->focusPolicy() & Qt::TabFocus) && !inCombo(w) && accessibleName(w).trimmed().isEmpty())
                unnamed << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                      : w->objectName());
        for (QMenu *menu : f.findChildren<QMenu *>()) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(menu);
            QVERIFY(a);
            for (int i = 0; i < a->childCount(); ++i)
                if (a->child(i)->text(QAccessible::Name).isEmpty() && !menu->actions().at(i)->isSeparator())
                    unnamed << menu->objectName() + QStringLiteral("/%1").arg(i);
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QCOMPARE(accessibleName(f.HScroll1), QStringLiteral("Ένταση - Volume"));

        // Enter and Return on an entry take the double click's road: that entry plays.
        fx.fill(files);
        QSignalSpy doubles(f.List2, &ListBox::userDoubleClicked);
        f.List2->setCurrentIndex(f.List2->model()->index(1, 0));
        QTest::keyClick(f.List2, Qt::Key_Return);
        QCOMPARE(doubles.size(), 1);
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().FileName() == files[1]; }, 5000));
        QCOMPARE(int(app.m.lastIndex), 1);
        f.List2->setCurrentIndex(f.List2->model()->index(0, 0));
        QTest::keyClick(f.List2, Qt::Key_Enter);
        QVERIFY(testkit::waitFor([&] { return app.mainPlayer().FileName() == files[0]; }, 5000));
        QTest::keyClick(f.List2, Qt::Key_Down); // other keys keep moving the selection only
        QCOMPARE(doubles.size(), 2);

        // The about window's link: in the Tab chain, named, and opened by Enter.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        Form3 &about = app.form3();
        QVERIFY(about.Label1->focusPolicy() & Qt::TabFocus);
        QVERIFY(!accessibleName(about.Label1).isEmpty());
        QTest::keyClick(about.Label1, Qt::Key_Return);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened.size(), 1);
    }

    void layoutOnSmallAndLargeScreens()
    {
        testkit::Fixture fx;
        Form1 &f = fx.start().form1();
        const QSize least = f.minimumSizeHint().expandedTo(f.minimumSize());
        QVERIFY2(least.width() <= 1000 && least.height() <= 560, qPrintable(QString::number(least.height())));
        // The playlist takes what a large screen offers.
        f.resize(1000, 560);
        QApplication::processEvents();
        const int small = f.List2->width();
        f.resize(1900, 1000);
        QApplication::processEvents();
        QVERIFY(f.List2->width() > small + 500 && f.List2->height() > 400);
        // The status line shows its longest reports whole.
        f.resize(1024, 600);
        f.show();
        QApplication::processEvents();
        for (const QString &report : {QStringLiteral("Αριθμός αρχείων που Προστέθηκαν - Number of Added files : 32000"),
                                      QStringLiteral("Αφαιρούνται αρχεία των επιλεγμένων υποφακέλων - Subtracting "
                                                     "files of the selected subdirectories")}) {
            f.Text2->setText(report);
            QVERIFY2(f.Text2->width() > f.Text2->fontMetrics().horizontalAdvance(report) + 8, qPrintable(report));
            QCOMPARE(f.Text2->toolTip(), report);
        }
        // The filter box waits for a choice: typing and Tab change nothing.
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
        // Combo boxes are announced by the label that names them.
        const auto label = [](QObject *o) {
            QStringList names;
            for (const auto &rel : QAccessible::queryAccessibleInterface(o)->relations(QAccessible::Label))
                names.append(rel.first->text(QAccessible::Name));
            return names;
        };
        QCOMPARE(label(f.Drive1), QStringList{"Δίσκος - Drive"});
        QCOMPARE(label(f.Combo2), QStringList{"Τύπος αρχείων - File type"});
        QCOMPARE(accessibleName(f.Combo2->lineEdit()), QStringLiteral("Τύπος αρχείων - File type"));
    }

    void pauseActsOnThePlayerInUse()
    {
        testkit::Fixture fx;
        const QString clip = testkit::makeMedia(fx.cwd.path(), "clip.avi", "avi", 6);
        QVERIFY(!clip.isEmpty());
        App &app = fx.start();
        Form1 &f = app.form1();
        Player &main = app.mainPlayer();
        Player &video = app.videoPlayer();

        for (Player *p : {&main, &video}) {
            Player *other = p == &main ? &video : &main;
            main.setInUse(p == &main);
            p->setFileName(clip);
            p->Play();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Playing; }, 5000));
            const int otherState = other->PlayState();
            f.mnusystemtraypause->trigger();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Paused; }, 5000));
            QVERIFY(f.mnusystemtraypause->isChecked());
            QCOMPARE(other->PlayState(), otherState);
            f.mnusystemtraypause->trigger();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Playing; }, 5000));
            QVERIFY(!f.mnusystemtraypause->isChecked());
            p->Stop();
        }
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
