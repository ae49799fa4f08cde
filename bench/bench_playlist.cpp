// The subdirectory scan plus Add (mode All) over a tree of 2 000 folders and 32 000 files,
// on the real main window offscreen, against `find TREE -name '*.mp3'` in the same run;
// then a text search over the resulting playlist. Also the longest time the event loop
// went unserved during the scan and the add.

#include "app/app.h"
#include "app/session.h"
#include "playlist/playlist.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kTop = 40, kChildren = 49, kFilesPerFolder = 16; // 40 + 40*49 = 2000 folders

void makeTree(const QString &root)
{
    int files = 0;
    const auto fill = [&](const QString &dir) {
        QDir().mkpath(dir);
        for (int i = 0; i < kFilesPerFolder; ++i, ++files)
            QFile(QStringLiteral("%1/track %2.mp3").arg(dir).arg(i, 2, 10, QLatin1Char('0')))
                .open(QIODevice::WriteOnly);
    };
    for (int t = 0; t < kTop; ++t) {
        const QString top = QStringLiteral("%1/Album %2").arg(root).arg(t);
        fill(top);
        for (int c = 0; c < kChildren; ++c)
            fill(QStringLiteral("%1/Disc %2").arg(top).arg(c));
    }
    std::printf("tree: %d folders, %d files\n", kTop * (1 + kChildren), files);
}

double findMs(const QString &root)
{
    QElapsedTimer t;
    t.start();
    QProcess find;
    find.start("find", {root, "-name", "*.mp3"});
    find.waitForFinished(-1);
    const qsizetype lines = find.readAllStandardOutput().count('\n');
    const double ms = double(t.nsecsElapsed()) / 1e6;
    std::printf("find: %lld files in %.1f ms\n", (long long)lines, ms);
    return ms;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    const QString root = cwd.file("tree");
    makeTree(root);
    findMs(root); // warm the caches for both sides

    App app({testkit::headless()});
    app.Form_Load();
    Form1 &f = app.form1();
    app.playlist().mnumoresub_Click();

    // The longest stretch without the event loop getting a turn.
    QElapsedTimer sinceTurn;
    qint64 worstGapNs = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        worstGapNs = std::max(worstGapNs, sinceTurn.nsecsElapsed());
        sinceTurn.start();
    });

    // Three rounds each, alternating, so that both sides meet the same machine.
    std::vector<double> finds, scans, totals;
    for (int round = 0; round < 3; ++round) {
        finds.push_back(findMs(root));
        f.Option1[1]->setChecked(true);
        app.playlist().Command5_Click(); // Subtract All: start from an empty playlist
        app.playlist().setDirPath(cwd.path());
        probe.start(0);
        sinceTurn.start();
        QElapsedTimer t;
        t.start();
        app.playlist().setDirPath(root);
        scans.push_back(double(t.nsecsElapsed()) / 1e6);
        app.playlist().Command4_Click();
        totals.push_back(double(t.nsecsElapsed()) / 1e6);
        probe.stop();
    }
    for (size_t r = 0; r < scans.size(); ++r)
        std::printf("round %zu: find %.1f ms, scan %.1f ms, scan+add %.1f ms\n", r + 1, finds[r], scans[r], totals[r]);
    const double scanMs = median(scans), totalMs = median(totals), findTime = median(finds);
    std::printf("scan: %d folders in %.1f ms; scan+add of %d entries: %.1f ms (medians of 3)\n", f.List1->count(),
                scanMs, f.List2->count(), totalMs);
    std::printf("ratio to find (median %.1f ms): %.2f (target at most 5)\n", findTime, totalMs / findTime);
    std::printf("longest time without serving events: %.1f ms (target at most 50)\n", double(worstGapNs) / 1e6);

    f.Text2->setText("disc 7/track 1");
    QElapsedTimer t;
    t.start();
    app.playlist().Command6_Click();
    std::printf("search over %d entries: %.1f ms (target under 50); %s\n", f.List2->count(),
                double(t.nsecsElapsed()) / 1e6, qPrintable(f.Text2->text()));

    // Start-up with a full playlist: a session file of 32 767 entries (Greek and Latin names,
    // written out of order) read by a fresh run, medians of 3.
    {
        QStringList rows;
        rows.reserve(32767);
        const QString words[] = {"Άλμπουμ", "album", "Έρωτας", "École", "ήλιος", "Zebra", "Ωραία", "apple"};
        for (int i = 0; i < 32767; ++i)
            rows.push_back(QStringLiteral("/music/%1 %2/Disc %3/track %4.mp3")
                               .arg(words[(i * 7) % 8])
                               .arg(i % 41)
                               .arg(i % 53)
                               .arg(i));
        f.List2->setItems(std::move(rows));
        app.session().SaveState();
    }
    std::vector<double> starts;
    int loaded = 0;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer s;
        s.start();
        App next({testkit::headless()});
        next.Form_Load();
        starts.push_back(double(s.nsecsElapsed()) / 1e6);
        loaded = next.form1().List2->count();
    }
    std::printf("start-up with %d entries: %.1f ms (median of 3)\n", loaded, median(starts));
    return 0;
}
