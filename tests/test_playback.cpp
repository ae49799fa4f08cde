// Start-up defaults and the program working through a folder with the real player.

#include "app/app.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playlist/playlist.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <clocale>

using testkit::waitFor;

class TestPlayback : public QObject {
    Q_OBJECT

    // A playlist made of real files, as the session file would restore it.
    static void fillPlaylist(App &app, const QStringList &files)
    {
        app.form1().List2->setItems(std::vector<QString>(files.begin(), files.end()));
        app.playback().resetMarksToPlaylist();
        app.playback().put_form4();
    }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void startUpDefaults()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        QVERIFY(app.m.stateFolder.endsWith('/') && !app.m.stateFolder.endsWith("//"));
        QCOMPARE(app.m.previewSecs, int16_t(10));
        QCOMPARE(app.m.folderChanged, int16_t(-1));
        QCOMPARE(f.Combo2->count(), 12);
        QCOMPARE(f.Combo2->currentIndex(), 10);
        QCOMPARE(f.File1->pattern(), QStringLiteral("*.mp3"));
        QVERIFY(f.mnumoretags->isEnabled());
        QVERIFY(!f.mnumoreduration->isEnabled());
        QVERIFY(!f.Command4->isEnabled() && !f.List1->isEnabled() && f.Command5->isEnabled());
        QVERIFY(f.mnuvideoauto->isChecked());
        QCOMPARE(app.m.genres.size(), 39);
        QCOMPARE(f.Combo1->itemText(33), QStringLiteral("Λαϊκό"));
        QVERIFY(!f.menuBar()->actions().contains(f.mnusystemtray->menuAction()));
        QVERIFY(f.isVisible());

        // The filter: row 0 joins rows 1-10 and keeps the save command as it was.
        f.Combo2->setCurrentIndex(3);
        app.playlist().Combo2_Click();
        QVERIFY(!f.mnumoretags->isEnabled());
        f.Combo2->setCurrentIndex(0);
        app.playlist().Combo2_Click();
        QVERIFY(!f.mnumoretags->isEnabled());
        QVERIFY(f.File1->pattern().startsWith("*.basx;*.wax"));
        QVERIFY(f.File1->pattern().endsWith(";*.cda;*.mp3"));
        app.playlist().setCombo2Index(10);
        QVERIFY(f.mnumoretags->isEnabled());
        // A folder that does not exist is refused and changes nothing.
        const QString before = f.Dir1->path();
        QVERIFY(!app.playlist().setDirPath(cwd.file("nope")));
        QCOMPARE(f.Dir1->path(), before);
        QVERIFY(!app.playlist().setDrive("/no/such/volume"));
    }

    void playsAFolderThroughInOrder()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        QStringList files;
        for (const char *n : {"a.wav", "b.wav", "c.wav"})
            files << testkit::makeMedia(cwd.path(), n, "wav", 1);
        QVERIFY(!files.contains(QString()));
        App app({testkit::headless()});
        app.Form_Load();
        fillPlaylist(app, files);

        std::vector<QString> started;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] {
            const QString f = app.mainPlayer().FileName();
            if (started.empty() || started.back() != f)
                started.push_back(f);
        });
        app.playback().Command3_Click();
        QVERIFY(waitFor([&] { return !dialogs.messages.empty(); }, 15000));
        QCOMPARE(started, std::vector<QString>(files.begin(), files.end()));
        // Replay None: the message once, nothing more started.
        QCOMPARE(dialogs.messages.size(), size_t(1));
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("Αναπαράχθηκαν Όλα Τα αρχεία\r\nEvery file has been reproduced"));
        QTest::qWait(500);
        QCOMPARE(dialogs.messages.size(), size_t(1));
        QCOMPARE(started.size(), size_t(3));
        QVERIFY(app.form1().windowTitle().startsWith("Μπραστομέρ - Brastomere "));
    }

    void replayAllGoesRoundAndOneRepeats()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        QStringList files{testkit::makeMedia(cwd.path(), "a.wav", "wav", 0.5),
                          testkit::makeMedia(cwd.path(), "b.wav", "wav", 0.5)};
        App app({testkit::headless()});
        app.Form_Load();
        fillPlaylist(app, files);
        app.playback().mnumorereplayn_Click(2);
        QVERIFY(!app.form1().mnumorereplayn[0]->isChecked());
        int opens = 0;
        QObject::connect(&app.mainPlayer(), &Player::changed, &app, [&] { opens = int(app.mainPlayer().openCount()); });
        app.playback().Command3_Click();
        QVERIFY(waitFor([&] { return opens >= 5; }, 15000));
        QVERIFY(dialogs.messages.empty());

        app.playback().mnumorereplayn_Click(1);
        const QString kept = app.mainPlayer().FileName();
        const int from = opens;
        QVERIFY(waitFor([&] { return opens >= from + 3; }, 15000));
        QCOMPARE(app.mainPlayer().FileName(), kept);
    }

    void completedListAndMarks()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        QStringList names;
        for (int i = 0; i < 25; ++i)
            names << QStringLiteral("/m/s%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
        names << "/m/odd =>12.mp3";
        fillPlaylist(app, names);
        Form4 &w = app.form4();
        QCOMPARE(app.playback().completedList().count(), 26);
        QCOMPARE(app.playback().FindSong(1), QStringLiteral("s00.mp3 =>1")); // never =>11 or =>21
        QCOMPARE(app.playback().FindSong(12), QStringLiteral("s11.mp3 =>12"));
        QCOMPARE(app.playback().FindSong(99), QString());
        // Entry 0 is "/m/odd =>12.mp3": its row ends with =>0, not =>12.
        QCOMPARE(app.playback().FindSong(0), QStringLiteral("odd =>12.mp3 =>0"));

        app.m.playedMarks[2] = -1;
        app.m.playedMarks[12] = -1;
        app.playback().paigmena();
        int selected = 0;
        for (int r = 0; r < w.List1->count(); ++r)
            selected += w.List1->isSelected(r);
        QCOMPARE(selected, 2);

        // Reset keeps the playing entry's mark only.
        app.m.lastIndex = 3;
        app.playback().mnumorereset_Click();
        for (size_t i = 0; i < app.m.playedMarks.size(); ++i)
            QCOMPARE(app.m.playedMarks[i], int16_t(i == 3 ? -1 : 0));

        // A double click on the odd row picks entry 0 even though its name says 12.
        w.List1->setListIndex(w.List1->findExact("odd =>12.mp3 =>0"));
        QCOMPARE(app.playback().FindSongPick(), 0);
        app.playback().Form4_List1_DblClick();
        QCOMPARE(app.m.lastIndex, int16_t(0));
        QCOMPARE(app.m.currentFile, QStringLiteral("/m/odd =>12.mp3"));
    }

    void previewLengthIsAskedUntilValid()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        App app({testkit::headless()});
        app.Form_Load();
        dialogs.inputs = {QString("61"), QString("1"), QString("7.5")};
        app.playback().mnumoreduration_Click();
        QCOMPARE(app.m.previewSecs, int16_t(8));
        QVERIFY(dialogs.messages.empty());
        dialogs.inputs = {QString("abc")};
        dialogs.answers = {dialogs::Answer::No};
        app.playback().mnumoreduration_Click();
        QCOMPARE(app.m.previewSecs, int16_t(8));
        QCOMPARE(dialogs.messages.back().text, QStringLiteral("Άκυρη είσοδος. Επανάληψη; - Invalid input. Repeat"));
        app.playback().mnumorepreview_Click();
        app.playback().mnumorepreview_Click();
        QCOMPARE(app.m.previewOn, int16_t(0));
        QVERIFY(!app.form1().mnumoreduration->isEnabled());
    }
};

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
