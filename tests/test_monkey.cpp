// Load: the program with the real player on a folder of 1-2 s files, thousands of random
// user actions from a fixed seed (replayable), then the session it saves must load again.
// Resident memory is printed at the start and the end.

#include "app/app.h"
#include "app/session.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

constexpr quint32 kSeed = 20261206;
constexpr int kActions = 4000;
constexpr int kSpacingMs = 12;

long rssKiB()
{
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

} // namespace

class TestMonkey : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void randomActionsLeaveALoadableSession()
    {
        testkit::ScratchCwd cwd;
        testkit::DialogRecorder dialogs;
        const QString media = cwd.file("media");
        QVERIFY(QDir().mkpath(media + "/sub"));
        QStringList files;
        for (int i = 0; i < 10; ++i)
            files << testkit::makeMedia(i < 8 ? media : media + "/sub",
                                        QStringLiteral("t%1.%2").arg(i).arg(i % 2 ? "mp3" : "wav"),
                                        i % 2 ? "mp3" : "wav", 1 + (i % 2));
        QVERIFY(!files.contains(QString()));

        App app({testkit::headless()});
        app.Form_Load();
        Form1 &f = app.form1();
        QVERIFY(app.playlist().setDirPath(media));
        app.form1().List2->setItems(std::vector<QString>(files.begin(), files.end()));
        app.playback().resetMarksToPlaylist();
        app.playback().put_form4();

        QRandomGenerator rng(kSeed);
        std::map<QString, int> fired;
        auto trigger = [&](QAction *a, const char *name) {
            if (a->isEnabled()) {
                a->trigger();
                ++fired[name];
            }
        };
        auto click = [&](QPushButton *b, const char *name) {
            if (b->isEnabled()) {
                b->click();
                ++fired[name];
            }
        };
        const std::vector<std::function<void()>> actions = {
            [&] { click(f.Command3, "next"); },
            [&] { click(f.Command3, "next"); },
            [&] {
                const int n = f.List2->count();
                if (n > 0 && f.List2->isEnabled()) {
                    f.List2->setListIndex(int(rng.bounded(n)));
                    app.playback().List2_Click();
                    app.playback().List2_DblClick();
                    ++fired["double click"];
                }
            },
            [&] { trigger(f.mnumorerandom, "shuffle"); },
            [&] { trigger(f.mnumorereplayn[size_t(rng.bounded(3))], "replay mode"); },
            [&] { trigger(f.mnumorepreview, "preview"); },
            [&] { trigger(f.mnumorecompleted, "completed"); },
            [&] { trigger(f.mnuvideoshow, "video show"); },
            [&] { trigger(f.mnuvideohide, "video hide"); },
            [&] { trigger(f.mnuvideoauto, "video auto"); },
            [&] { trigger(f.mnumoresub, "subfolders"); },
            [&] { click(f.Command4, "add"); },
            [&] { click(f.Command5, "subtract"); },
            [&] { click(f.Command1, "all"); },
            [&] {
                QStringList dropped{files[int(rng.bounded(files.size()))], cwd.file("missing.mp3"), "  "};
                app.playlist().WatchForFiles(dropped);
                ++fired["drop"];
            },
            [&] {
                f.Text2->setText(QStringList{"t1", "T", "mp3", "", "zzz"}[int(rng.bounded(5))]);
                click(f.Command6, "search");
            },
            [&] { click(f.Command2, "cancel search"); },
            [&] { trigger(f.mnumorereset, "reset"); },
            [&] {
                f.isVisible() ? f.hide() : f.show();
                ++fired["show/hide"];
            },
        };

        const long rssStart = rssKiB();
        int done = 0;
        QTimer monkey;
        monkey.setInterval(kSpacingMs);
        QObject::connect(&monkey, &QTimer::timeout, &app, [&] {
            if (done >= kActions)
                return;
            ++done; // counted first: an action may run the event loop and come back here
            actions[size_t(rng.bounded(quint32(actions.size())))]();
        });
        monkey.start();
        QVERIFY(testkit::waitFor([&] { return done >= kActions; }, 10 * 60 * 1000));
        monkey.stop();
        // Still serving: the ticker moves on within a second.
        QTest::qWait(300);
        const long rssEnd = rssKiB();
        std::printf("seed %u, %d actions, RSS %ld KiB at start, %ld KiB at the end\n", kSeed, kActions, rssStart,
                    rssEnd);
        for (const auto &[name, count] : fired)
            std::printf("  %-14s %d\n", qPrintable(name), count);

        app.session().SaveState();
        QFile file(cwd.file("velloran.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const state::Records saved(file.readAll());
        const int count = f.List2->count();
        QCOMPARE(saved.recordCount(), 16 + 2 * (count - 1));

        App again({testkit::headless()});
        again.Form_Load();
        QCOMPARE(again.form1().List2->count(), count);
    }
};

QTEST_MAIN(TestMonkey)
#include "test_monkey.moc"
