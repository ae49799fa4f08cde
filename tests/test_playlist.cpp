// Building the playlist: lookup, search, drops, the subdirectory scan, add and subtract.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "playlist/playlist_logic.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The program started on an empty session in a scratch folder.
struct Program : testkit::Fixture {
    App &app = start();
    Form1 &f = app.form1();

    Program() { app.playlist().yieldEveryMs = 0; }
    void subdirsOn()
    {
        if (app.m.subdirsOn != kOn)
            app.playlist().mnumoresub_Click();
    }
    void go(const QString &folder) { QVERIFY(app.playlist().setDirPath(folder)); }
    void mode(int i) { f.Option1[size_t(i)]->setChecked(true); }
    QString text2() const { return f.Text2->text(); }
};

} // namespace

class TestPlaylist : public QObject {
    Q_OBJECT

private slots:
    void dropAcceptanceAndLimits()
    {
        const QStringList types = Playlist::fileTypesTable();
        const auto ok = [&](const QString &p) { return plist::acceptsDrop(p, types); };
        QVERIFY(ok("/x/song.mp3") && ok("/x/p.jpeg") && ok("/x/tune.midi") && ok("/x/my files"));
        QVERIFY(!ok("/x/SONG.MP3") && !ok("/x/voice.au") && !ok("/x/folder") && !ok(""));

        QCOMPARE(plist::refusalFor(QString(253, 'a'), 0), plist::Refusal::None);
        QCOMPARE(plist::refusalFor(QString(127, u'α'), 0), plist::Refusal::TooLong);
        QCOMPARE(plist::refusalFor("/a.mp3", 32767), plist::Refusal::Full);

        // Search: case folded on both sides (Greek too), anywhere in the entry, never past
        // its end; an empty word finds every entry.
        const QStringList names{"/Μουσική/ΩΔΉ.mp3", "/m/ωδή", "/m/Ballad.MP3", "/m/bal", "ballad"};
        QCOMPARE(plist::searchHits(names, QStringLiteral("ωδή")), std::vector<int>({0, 1}));
        QCOMPARE(plist::searchHits(names, QStringLiteral("ballad")), std::vector<int>({2, 4}));
        QCOMPARE(plist::searchHits(names, QStringLiteral(".mp3")), std::vector<int>({0, 2}));
        QCOMPARE(plist::searchHits(names, QString()), std::vector<int>({0, 1, 2, 3, 4}));
    }

    void searchSelectsCompletedRows()
    {
        Program p;
        p.f.List2->setItems({"/m/track.mp3", "/m/Ballad.mp3", "/m/other ballad.mp3"});
        p.app.playback().put_form4();
        ListBox &done = *p.app.form4().List1;
        const auto selectedEntries = [&] {
            QList<int> out;
            for (int r = 0; r < done.count(); ++r)
                if (done.isSelected(r))
                    out.append(done.text(r).section("=>", -1).toInt());
            return out;
        };

        p.f.Text2->setText("  BALLAD ");
        p.app.playlist().Command6_Click();
        QCOMPARE(p.text2(), QStringLiteral("ballad  *** Αποτελέσματα - Results : 2 ***"));
        QCOMPARE(selectedEntries(), QList<int>({0, 1}));
    }

    void droppedFiles()
    {
        Program p;
        const QString greek = p.cwd.file("Μουσική με κενά/τραγούδι ένα.mp3");
        const QString b = p.cwd.file("b.mp3");
        testkit::touch(greek);
        testkit::touch(b);
        p.app.playlist().WatchForFiles({b, p.cwd.file("c.MP3")});
        QCOMPARE(p.text2(), QStringLiteral("Άκυρο Αρχείο - Invalid File"));
        QCOMPARE(testkit::rows(*p.f.List2), QStringList({b}));

        // In order, one already listed under other case; the completed list is rebuilt.
        p.app.playlist().WatchForFiles({b.toUpper().replace("B.MP3", "b.mp3"), greek, p.cwd.file("x.jpeg")});
        QCOMPARE(p.text2(), QStringLiteral("Αριθμός Προστιθέμενων Αρχείων - Number of Added files =  2"));
        QCOMPARE(p.app.playback().completedList().count(), 3);
        QVERIFY(p.f.List2->findExact(greek) >= 0);
    }

    void scanTree()
    {
        Program p;
        const QString root = p.cwd.file("tree");
        for (const char *d : {"a/x/deep", "a/y", "b", "c/z", ".hidden/in", "locked"})
            QDir().mkpath(root + "/" + d);
        QFile::link(root + "/a", root + "/a/x/back");    // a cycle
        QFile::link(root + "/none", root + "/dangling"); // leads nowhere
        QFile::setPermissions(root + "/locked", {});
        // Links listed wherever readdir puts them, before and after their targets, never take
        // the real folder's row; one that leads out of the tree is listed under its own name.
        QFile::link(root + "/a/x", root + "/0first");
        QFile::link(root + "/a/x", root + "/a/y/zlast");
        QDir().mkpath(p.cwd.file("elsewhere/inner"));
        QFile::link(p.cwd.file("elsewhere"), root + "/out");

        p.subdirsOn();
        p.go(root);
        const QStringList all
            = {root + "/",   root + "/a/",   root + "/a/x/",    root + "/a/x/deep/", root + "/a/y/",      root + "/b/",
               root + "/c/", root + "/c/z/", root + "/locked/", root + "/out/",      root + "/out/inner/"};
        QCOMPARE(testkit::rows(*p.f.List1), all);
        QCOMPARE(p.f.Frame4->title(), QStringLiteral("Υποφακέλοι - Subdirectories : 10"));

        // Breadth first: when the first second-level folder shows, every first-level one has.
        bool shallowDone = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QStringList now = testkit::rows(*p.f.List1);
            const bool deep = std::any_of(now.begin(), now.end(),
                                          [&](const QString &r) { return r.mid(root.size() + 1).count('/') == 2; });
            if (deep && p.app.m.cancelSearch != kOn) {
                shallowDone = now.contains(root + "/a/") && now.contains(root + "/b/") && now.contains(root + "/c/")
                    && now.contains(root + "/locked/");
                p.app.playlist().Command2_Click();
            }
        });
        watch.start(0);
        p.go(root);
        watch.stop();
        QVERIFY(shallowDone);
        QVERIFY(p.f.List1->count() < all.size());
        QCOMPARE(p.text2(), QStringLiteral("Έτοιμο - Ready"));
        QCOMPARE(p.app.m.cancelSearch, int16_t(0));

        // A folder change during a search leaves the newer search's rows only.
        bool changed = false;
        QTimer::singleShot(0, [&] {
            changed = true;
            p.go(root + "/c");
        });
        p.go(root);
        QVERIFY(changed);
        QCOMPARE(testkit::rows(*p.f.List1), QStringList({root + "/c/", root + "/c/z/"}));

        p.go(root + "/a");
        QFile::setPermissions(root + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        // The next run scans the remembered folder and checks every row.
        p.app.session().SaveState();
        Form1 &g = p.start().form1();
        QCOMPARE(testkit::rows(*g.List1),
                 QStringList({root + "/a/", root + "/a/x/", root + "/a/x/deep/", root + "/a/y/"}));
        for (int i = 0; i < g.List1->count(); ++i)
            QVERIFY(g.List1->isSelected(i));
        QVERIFY(g.mnumoresub->isChecked() && g.List1->isEnabled() && g.Command4->isEnabled());
    }

    // A pass takes a folder's files as they are, not as the search before it saw them; a
    // folder left alone comes from the search's listing, name for name.
    void aPassSeesWhatChangedSinceTheSearch()
    {
        Program p;
        p.app.playlist().listingMarginMs = 0;
        const QString root = p.cwd.file("tree");
        for (const char *f : {"a/1.mp3", "a/2.mp3", "b/3.mp3", "c/γ.mp3"})
            testkit::touch(root + "/" + f);
        QTest::qWait(20); // past the clock tick they were made in: the search keeps what it sees
        p.subdirsOn();
        p.go(root);
        QFile::remove(root + "/a/1.mp3");
        testkit::touch(root + "/b/5.mp3");
        p.mode(1);
        p.app.playlist().Command4_Click();
        QCOMPARE(testkit::rows(*p.f.List2),
                 QStringList({root + "/a/2.mp3", root + "/b/3.mp3", root + "/b/5.mp3", root + "/c/γ.mp3"}));
    }

    void addAndSubtract()
    {
        Program p;
        const QString root = p.cwd.file("music");
        for (const char *f : {"1.mp3", "2.mp3", "cover.jpg", "a/3.mp3", "a/4.MP3", "b/5.mp3", "b/c/6.mp3", ".h/7.mp3"})
            testkit::touch(root + "/" + f);
        const QString added = "Αριθμός αρχείων που Προστέθηκαν - Number of Added files :";
        p.go(root);

        // One: the current folder's matching files.
        p.mode(0);
        p.app.playlist().Command4_Click();
        QCOMPARE(p.text2(), added + " 2");
        QCOMPARE(testkit::rows(*p.f.List2), QStringList({root + "/1.mp3", root + "/2.mp3"}));

        // Selected with the option off adds nothing and subtracts nothing.
        p.mode(2);
        p.app.playlist().Command4_Click();
        QCOMPARE(p.text2(), added + " 0");
        p.app.playlist().Command5_Click();
        QCOMPARE(p.text2(), "Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files : 0");
        QCOMPARE(p.f.List2->count(), 2);

        // All with the option on: every listed folder, hidden ones left out.
        p.subdirsOn();
        p.app.m.resumePos = 40;
        p.app.m.playedMarks = {-1, -1};
        p.mode(1);
        p.app.playlist().Command4_Click();
        QCOMPARE(p.text2(), added + " 4");
        QCOMPARE(p.app.m.playedMarks, std::vector<int16_t>(6, 0));
        QCOMPARE(p.app.m.resumePos, int16_t(0));
        QCOMPARE(p.app.playback().completedList().count(), 6);

        // Subtract One: the current folder's matching files only (the filter ignores case).
        const QString subtracted = "Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files :";
        p.mode(0);
        p.go(root + "/a");
        p.app.playlist().Command5_Click();
        QCOMPARE(p.text2(), subtracted + " 2");
        QCOMPARE(p.app.playback().completedList().count(), 4);

        // Selected with the checked rows: a and a's subfolders none; b and b/c.
        p.go(root);
        for (int i = 0; i < p.f.List1->count(); ++i)
            p.f.List1->setSelected(i, p.f.List1->text(i).startsWith(root + "/b/"));
        p.mode(2);
        p.app.playlist().Command5_Click();
        QCOMPARE(p.text2(), subtracted + " 2");
        QCOMPARE(testkit::rows(*p.f.List2), QStringList({root + "/1.mp3", root + "/2.mp3"}));

        // Subtract All empties both lists and writes nothing.
        p.f.Text2->setText("kept");
        p.mode(1);
        p.app.playlist().Command5_Click();
        QCOMPARE(p.f.List2->count(), 0);
        QCOMPARE(p.app.playback().completedList().count(), 0);
        QCOMPARE(p.text2(), QStringLiteral("kept"));

        // A pass that fills the playlist part way through a folder takes its first names.
        const QString full = p.cwd.file("full");
        const QStringList names = {"m.mp3", "c.mp3", "x.mp3", "a.mp3", "q.mp3", "E.mp3", "b.mp3", "k.mp3"};
        for (const QString &n : names)
            testkit::touch(full + "/" + n);
        QStringList most;
        for (int i = 0; i < plist::kMaxEntries - 3; ++i)
            most.push_back(QStringLiteral("/elsewhere/%1.mp3").arg(i));
        p.f.List2->setItems(std::move(most));
        p.go(full);
        p.mode(1);
        p.app.playlist().Command4_Click();
        QVERIFY(p.text2().startsWith(added + " 3  *** "));
        QVERIFY(p.text2().endsWith("not added : 5 ***"));
        for (const char *n : {"a.mp3", "b.mp3", "c.mp3"})
            QVERIFY(p.f.List2->findExact(full + "/" + n) >= 0);
        QCOMPARE(p.f.List2->findExact(full + "/E.mp3"), -1);

        // A file at a path past what the system can name (made a folder at a time) is
        // reported as too long, as a shorter one is, not passed over in silence.
        p.f.List2->clear();
        // Too deep for the temporary folder's own clean-up, which names each path in full.
        const auto removeDeep = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("rm"), {"-rf", p.cwd.file(QString(200, 'd'))});
        });
        int fd = ::open(QFile::encodeName(p.cwd.path()).constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < 25; ++i) {
            ::mkdirat(fd, QByteArray(200, 'd').constData(), 0755);
            const int sub = ::openat(fd, QByteArray(200, 'd').constData(), O_RDONLY | O_DIRECTORY);
            ::close(std::exchange(fd, sub));
        }
        ::close(::openat(fd, "5000.mp3", O_CREAT | O_WRONLY, 0644));
        ::close(fd);
        p.go(p.cwd.file(QString(200, 'd')));
        p.app.playlist().Command4_Click();
        QCOMPARE(p.text2(), added + " 0  *** Διαδρομή πάνω από 253 bytes - Path over 253 bytes, not added : 1 ***");
    }
};

QTEST_MAIN(TestPlaylist)
#include "test_playlist.moc"
