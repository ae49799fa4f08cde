// The program among the desktop's pieces: the tray icon and its menu, the autostart entry,
// files dropped from a file manager, keyboard and screen readers, and pause from the tray.

#include "app/app.h"
#include "app/shell.h"
#include "base/fsname.h"
#include "playback/player.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <fcntl.h>
#include <unistd.h>

namespace {

// desktop-file-validate's verdict: empty when the entry passes, its complaints otherwise.
QString validate(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("desktop-file-validate"), {path});
    const bool ran = p.waitForFinished(10000); // false too when it is not installed
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return ran && p.exitCode() == 0 && !out.contains(QStringLiteral("error:")) ? QString()
                                                                               : out + QStringLiteral("(failed)");
}

QString accessibleName(QObject *o)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(QAccessible::Name) : QString();
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void autostartEntryFollowsTheCheckMark()
    {
        testkit::Fixture fx;
        const QString name = Shell::executableName();
        const QString entry = Shell::autostartPath(name);
        Shell::SetRunAtStartup(name, "/opt/v", true);
        Form1 &f = fx.start().form1();
        QVERIFY(f.mnumorewindows->isChecked());
        f.mnumorewindows->trigger(); // unchecks and removes
        QVERIFY(!Shell::RunAtStartupIsSet(name));
        // Checked again: a valid entry that starts the program in the session's folder.
        f.mnumorewindows->trigger();
        QVERIFY(QString::fromUtf8(testkit::readAll(entry)).contains("\nPath=" + fx.cwd.path() + "/\n"));
        QCOMPARE(validate(entry), QString());
    }

    void trayClicksAndMenu()
    {
        testkit::Fixture fx;
        App &app = fx.start();
        Form1 &f = app.form1();
        app.shell().trayAvailable = [] { return true; };
        auto *icon = app.shell().findChild<QSystemTrayIcon *>();
        QVERIFY(icon && icon->isVisible() && icon->contextMenu() == f.mnusystemtray);

        // The left click hides and shows.
        emit icon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!f.isVisible());
        emit icon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(f.isVisible());

        // Without a tray the window is never hidden: nothing could bring it back.
        app.shell().trayAvailable = [] { return false; };
        app.shell().trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(f.isVisible());

        // Qt refuses a window manager's close of a window under a modal box: the input box is not one.
        dialogs::setBackend(nullptr);
        const QWidget *modal = &f;
        QTimer::singleShot(0, [&] {
            modal = QApplication::activeModalWidget();
            f.findChild<QInputDialog *>()->reject();
        });
        QCOMPARE(dialogs::InputBox("?", "?", "10"), QString());
        QVERIFY(!modal);
    }

    void filesDroppedOnThePlaylistAreAdded()
    {
        // As a file manager drops them: percent-encoded bytes, a Latin-1 name among them.
        testkit::Fixture fx;
        const QByteArray latin1 = QFile::encodeName(fx.cwd.path()) + "/caf\xe9 cr\xe8me.mp3";
        const QString greek = fx.cwd.file("ένας φάκελος/πρώτο τραγούδι.mp3");
        QVERIFY(::close(::creat(latin1.constData(), 0600)) == 0);
        testkit::touch(greek);
        Form1 &f = fx.start().form1();
        QMimeData data;
        data.setData("text/uri-list",
                     "file://" + latin1.toPercentEncoding("/") + "\r\n" + QUrl::fromLocalFile(greek).toEncoded()
                         + "\r\n");
        // Sent to the window, which finds the widget under the point that takes drops.
        const QPoint at = f.List2->mapTo(&f, f.List2->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.windowHandle(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.windowHandle(), &drop);
        QVERIFY(testkit::waitFor([&] { return f.List2->count() == 2; }, 5000));
        QVERIFY(f.List2->findExact(fsname::decode(latin1)) >= 0);
        ::unlink(latin1.constData()); // a name the scratch folder's clean-up cannot spell
    }

    void keyboardAndScreenReaders()
    {
        testkit::Fixture fx;
        const QStringList files{testkit::makeMedia(fx.cwd.path(), "a.wav", "wav", 3),
                                testkit::makeMedia(fx.cwd.path(), "b.wav", "wav", 3)};
        App &app = fx.start();
        Form1 &f = app.form1();

        // Every control reachable by Tab has a name for screen readers (menu items are named
        // by their text).
        QStringList unnamed;
        // (a combo box's own editor and list are named through the box)
        const auto inCombo = [](QWidget *w) {
            for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
                if (qobject_cast<QComboBox *>(p) || p->inherits("QComboBoxPrivateContainer"))
                    return true;
            return false;
        };
        for (QWidget *w : f.findChildren<QWidget *>())
            if (((w->focusPolicy() & Qt::TabFocus) || w->inherits("QMenuBar")
                 || !w->property("title").toString().isEmpty())
                && !inCombo(w) && accessibleName(w).trimmed().isEmpty())
                unnamed << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                      : w->objectName());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        // The secondary windows are windows to screen readers, and Escape closes them.
        for (QWidget *w : std::initializer_list<QWidget *>{&app.form3(), &app.form4()}) {
            w->show();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->role(), QAccessible::Window);
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(!w->isVisible());
        }
        // On a screen too short for it the window gets as short, and every control scrolls into sight.
        f.resize(640, 360);
        QVERIFY(testkit::waitFor([&] { return f.height() <= 360; }, 5000));
        auto *area = f.findChild<QScrollArea *>();
        for (QWidget *w : std::initializer_list<QWidget *>{f.Text2, f.Command6, f.HScroll1, f.Text1[6]}) {
            area->ensureWidgetVisible(w);
            QVERIFY(area->viewport()->rect().contains(w->mapTo(area->viewport(), w->rect().center())));
        }
        // The preview's elapsed text shows whole.
        QVERIFY(f.Text1[6]->width() - 8 > f.Text1[6]->fontMetrics().horizontalAdvance("00:00:00     [10] -07"));

        // Enter and Return on an entry take the double click's road: that entry plays.
        fx.fill(files);
        for (const auto &[key, row] : {std::pair{Qt::Key_Return, 1}, std::pair{Qt::Key_Enter, 0}}) {
            f.List2->setCurrentIndex(f.List2->model()->index(row, 0));
            QTest::keyClick(f.List2, key);
            QVERIFY(testkit::waitFor([&] { return app.mainPlayer().FileName() == files[row]; }, 5000));
        }
    }

    void pauseActsOnThePlayerInUse()
    {
        testkit::Fixture fx;
        const QString clip = testkit::makeMedia(fx.cwd.path(), "clip.avi", "avi", 6);
        App &app = fx.start();
        Form1 &f = app.form1();
        Player &main = app.mainPlayer();
        Player &video = app.videoPlayer();

        for (Player *p : {&main, &video}) {
            main.setInUse(p == &main);
            p->setFileName(clip);
            p->Play();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Playing; }, 5000));
            f.mnusystemtraypause->trigger();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Paused; }, 5000));
            QVERIFY(f.mnusystemtraypause->isChecked());
            f.mnusystemtraypause->trigger();
            QVERIFY(testkit::waitFor([p] { return p->PlayState() == Player::Playing; }, 5000));
            QVERIFY(!f.mnusystemtraypause->isChecked());
            p->Stop();
        }
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
