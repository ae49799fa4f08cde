// Start-up with a normal session file against one with a 2 GiB sparse tail: the tail must
// cost neither time nor memory. Prints the time of Form_Load for each and the peak memory
// of the process after each.

#include "app/app.h"
#include "state/session_file.h"
#include "testkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <clocale>
#include <cstdio>
#include <sys/resource.h>

namespace {

long peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

double loadMs()
{
    testkit::DialogRecorder dialogs;
    QElapsedTimer t;
    t.start();
    App app({testkit::headless()});
    app.Form_Load();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    testkit::ScratchCwd cwd;
    state::Snapshot s;
    s.folder = cwd.path();
    for (int i = 0; i < 100; ++i)
        s.entries.append(QStringLiteral("/elsewhere/%1.mp3").arg(i));
    s.lastIndex = 3;
    QFile f(cwd.file("velloran.txt"));
    if (!f.open(QIODevice::WriteOnly) || f.write(state::encode(s)) < 0)
        return 1;
    f.close();

    constexpr int kRuns = 5;
    double normal = 0;
    for (int i = 0; i < kRuns; ++i)
        normal += loadMs() / kRuns;
    const long normalPeak = peakMiB();
    if (!f.resize(f.size() + (qint64(2) << 30)))
        return 1;
    double tail = 0;
    for (int i = 0; i < kRuns; ++i)
        tail += loadMs() / kRuns;
    std::printf("session load: normal %.1f ms, with a 2 GiB sparse tail %.1f ms (ratio %.2f); "
                "peak memory %ld MiB, then %ld MiB\n",
                normal, tail, tail / normal, normalPeak, peakMiB());
    return 0;
}
