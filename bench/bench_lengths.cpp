// Media lengths for the time left: files read per second, the largest gap between two
// ticks of the 60 ms timer while a 2 000-file playlist's lengths are read, start-up with
// 32 767 entries with an empty and a filled length cache, and the memory a full cache costs.

#include "app/app.h"
#include "playback/length_cache.h"
#include "playback/lengths.h"
#include "state/session_file.h"
#include "state/state_db.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <unistd.h>

namespace {

long procKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}

// n names of one generated mp3: copies (each file its own read) or hard links.
std::vector<QString> makeFiles(const QString &dir, const QString &mp3, int n, bool links)
{
    QDir().mkpath(dir);
    std::vector<QString> out;
    for (int i = 0; i < n; ++i) {
        const QString p = QStringLiteral("%1/f%2.mp3").arg(dir).arg(i, 5, 10, QLatin1Char('0'));
        const bool ok = links ? ::link(QFile::encodeName(mp3).constData(), QFile::encodeName(p).constData()) == 0
                              : QFile::copy(mp3, p);
        if (!ok && !QFileInfo::exists(p))
            return {};
        out.push_back(p);
    }
    return out;
}

bool writeSession(const QString &cwd, const std::vector<QString> &files)
{
    state::Snapshot s;
    s.folder = cwd;
    for (const QString &p : files)
        s.entries.append(p);
    s.lastIndex = 0;
    QFile f(cwd + QStringLiteral("/velloran.txt"));
    return f.open(QIODevice::WriteOnly) && f.write(state::encode(s)) > 0;
}

// Runs the program's start-up, then its event loop until every length is in. Returns the
// time of Form_Load; gapMs gets the largest gap between ticks meanwhile.
double runProgram(double *gapMs, double *untilMs, long *hwmGrowth = nullptr, long *rssGrowth = nullptr)
{
    testkit::DialogRecorder dialogs;
    QElapsedTimer t;
    t.start();
    App app({testkit::headless()});
    app.Form_Load();
    const double loadMs = double(t.nsecsElapsed()) / 1e6;
    const long hwm0 = procKiB("VmHWM:"), rss0 = procKiB("VmRSS:");
    QElapsedTimer tick;
    tick.start();
    qint64 worst = 0;
    QObject::connect(app.form1().Timer1, &QTimer::timeout, &app, [&] {
        worst = std::max(worst, tick.nsecsElapsed());
        tick.restart();
    });
    const int n = app.form1().List2->count();
    testkit::waitFor(
        [&] { return int(app.lengths().cache().lengthOf().size()) == n && app.lengths().cache().complete(); }, 600000);
    if (untilMs)
        *untilMs = double(t.nsecsElapsed()) / 1e6 - loadMs;
    if (gapMs)
        *gapMs = double(worst) / 1e6;
    if (hwmGrowth)
        *hwmGrowth = procKiB("VmHWM:") - hwm0;
    if (rssGrowth)
        *rssGrowth = procKiB("VmRSS:") - rss0;
    if (hwmGrowth) {
        // What each refresh of the completed window costs (twice a second while it shows).
        QElapsedTimer r;
        r.start();
        constexpr int kCalls = 20;
        for (int i = 0; i < kCalls; ++i)
            app.lengths().text();
        std::printf("lengths: time-left text over %d entries %.2f ms\n", n, double(r.nsecsElapsed()) / 1e6 / kCalls);
    }
    return loadMs;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // The memory of a full cache, in a process of its own whose peak nothing else raised;
    // it inherits the working folder, the session file and the filled database.
    if (argc > 1 && qstrcmp(argv[1], "--memory") == 0) {
        long hwm = 0, rss = 0;
        double gap = 0, until = 0;
        runProgram(&gap, &until, &hwm, &rss);
        std::printf("memory: 32767 entries, full cache: peak grows %ld KiB, resident %ld KiB "
                    "(largest tick gap %.1f ms)\n",
                    hwm, rss, gap);
        return 0;
    }
    testkit::ScratchCwd cwd;
    qputenv("XDG_STATE_HOME", cwd.file(QStringLiteral("state")).toUtf8());
    const QString mp3 = testkit::makeMedia(cwd.path(), QStringLiteral("one.mp3"), QStringLiteral("mp3"), 60);
    if (mp3.isEmpty())
        return 1;

    // Reads per second, without and with the database.
    const std::vector<QString> two = makeFiles(cwd.file(QStringLiteral("two")), mp3, 2000, false);
    if (two.empty())
        return 1;
    for (bool withDb : {false, true}) {
        StateDb db(cwd.file(QStringLiteral("rate.sqlite")), cwd.path());
        if (withDb && !db.open())
            return 1;
        lengths::LengthCache c;
        c.setConnection(withDb ? db.connectionName() : QString());
        QElapsedTimer t;
        t.start();
        c.setPaths(QStringList(two.begin(), two.end()));
        testkit::waitFor([&] { return c.complete(); }, 600000);
        std::printf("lengths: %d files read at %.0f files/s (%s)\n", c.filesRead(),
                    c.filesRead() / (double(t.nsecsElapsed()) / 1e9),
                    withDb ? "stored in the database" : "no database");
    }

    // The 60 ms tick while a 2 000-file playlist's lengths are read, cache empty then full.
    if (!writeSession(cwd.path(), two))
        return 1;
    for (const char *what : {"read", "from the cache"}) {
        double gap = 0, until = 0;
        runProgram(&gap, &until);
        std::printf("lengths: 2000 entries %s: largest gap between 60 ms ticks %.1f ms (%.0f ms until all known)\n",
                    what, gap, until);
    }

    // Start-up with 32 767 entries against one: empty cache, then full.
    const std::vector<QString> many = makeFiles(cwd.file(QStringLiteral("many")), mp3, 32767, true);
    if (many.empty())
        return 1;
    constexpr int kRuns = 3;
    auto loadAvg = [&](const std::vector<QString> &files) {
        writeSession(cwd.path(), files);
        double sum = 0;
        for (int i = 0; i < kRuns; ++i) {
            testkit::DialogRecorder dialogs;
            QElapsedTimer t;
            t.start();
            App app({testkit::headless()});
            app.Form_Load();
            sum += double(t.nsecsElapsed()) / 1e6;
        }
        return sum / kRuns;
    };
    const double one = loadAvg({many[0]});
    const double empty = loadAvg(many);
    double gap = 0, until = 0;
    runProgram(&gap, &until); // fills the cache
    std::printf("lengths: 32767 entries read in %.0f ms, largest tick gap %.1f ms\n", until, gap);
    const double full = loadAvg(many);
    const double oneFull = loadAvg({many[0]});
    std::printf("start-up: empty length cache: 1 entry %.1f ms, 32767 entries %.1f ms (x%.2f); "
                "full cache: 1 entry %.1f ms, 32767 entries %.1f ms (x%.2f)\n",
                one, empty, empty / one, oneFull, full, full / oneFull);
    QElapsedTimer o;
    o.start();
    StateDb opened(statedb::defaultPath(), cwd.path() + QStringLiteral("/"));
    opened.open();
    std::printf("start-up: opening the state database with a full length cache %.1f ms\n",
                double(o.nsecsElapsed()) / 1e6);

    std::fflush(stdout);
    writeSession(cwd.path(), many);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory")});
    child.waitForFinished(-1);
    return child.exitCode();
}
