// One figure per run, for bench/figures.py to time against its peer:
//   session DIR MEDIA N SECONDS  writes DIR/velloran.txt: N entries, resuming MEDIA at SECONDS
//   startup SECONDS              the program's start-up in the current folder, until the resumed
//                                file has played 0.1 s past SECONDS; then the process ends
//   scan TREE                    subdirectory scan + Add (mode All) over TREE: prints ms, then
//                                the ms of the recovery write that takes the new list
//   save N                       SaveState of N entries: prints ms and the file's bytes
//   search N NEEDLE              text search over N entries: prints ms
//   names N FILE                 the same N names, one a line, for grep
//   film SECONDS [PAUSED]        the resumed film plays in the video window: after 3 s, prints
//                                the process's CPU share (% of a core) over SECONDS, the
//                                largest and median gaps between ticks (ms), and the CPU share
//                                over PAUSED seconds (default 0: not measured) after a pause
// Every mode but startup and film runs with headless players; those run as the program does.

#include "app/app.h"
#include "app/mpris_logic.h"
#include "app/session.h"
#include "base/name_order.h"
#include "playback/playback.h"
#include "playlist/playlist.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Names of the shape a music library has, Greek and Latin, not in order.
QStringList libraryNames(int n)
{
    static const QString words[] = {"Άλμπουμ", "album", "Έρωτας", "École", "ήλιος", "Zebra", "Ωραία", "apple"};
    QStringList rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i)
        rows.push_back(
            QStringLiteral("/music/%1 %2/Disc %3/track %4.mp3").arg(words[(i * 7) % 8]).arg(i % 41).arg(i % 53).arg(i));
    return rows;
}

int writeSession(const QString &dir, const QString &media, int n, int seconds)
{
    state::Snapshot s;
    s.drive = QStringLiteral("/");
    s.folder = QFileInfo(media).absolutePath();
    s.resumePos = int16_t(seconds);
    s.currentEntry = media;
    s.entries.append(media);
    for (const QString &name : libraryNames(n - 1))
        s.entries.append(name);
    // In the program's own order, as its save leaves them.
    nameorder::sort(s.entries);
    s.lastIndex = int16_t(s.entries.indexOf(media));
    s.playedMarks.assign(size_t(n), 0);
    QFile f(dir + QStringLiteral("/velloran.txt"));
    return f.open(QIODevice::WriteOnly) && f.write(state::encode(s)) >= 0 ? 0 : 1;
}

int writeNames(int n, const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    for (const QString &name : libraryNames(n))
        f.write(name.toUtf8() + '\n');
    return 0;
}

int startup(double seconds)
{
    // Never resumed (a message box, a file that failed): no figure.
    QTimer::singleShot(20000, [] { std::_Exit(2); });
    App app;
    app.Form_Load();
    Player &p = app.mainPlayer();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (p.PlayState() == Player::Playing && p.CurrentPosition() >= seconds + 0.1) {
            std::printf("playing at %.2f\n", p.CurrentPosition());
            std::fflush(stdout);
            // The program's own way out: an end without it would count as a crash and
            // the next start would skip the entry.
            app.Form_QueryUnload();
        }
    });
    poll.start(2);
    return QApplication::exec();
}

double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

int film(double seconds, double paused)
{
    QTimer::singleShot(int((seconds + paused) * 1000) + 30000, [] { std::_Exit(2); });
    App app;
    app.Form_Load();
    std::vector<double> gaps;
    QElapsedTimer clock;
    double cpu0 = 0, last = -1;
    bool measured = false;
    QObject::connect(app.form1().Timer1, &QTimer::timeout, [&] {
        if (!clock.isValid() || measured)
            return;
        const double now = double(clock.nsecsElapsed()) / 1e6;
        if (last >= 0)
            gaps.push_back(now - last);
        last = now;
        if (now < seconds * 1000)
            return;
        measured = true;
        const double cpu = (cpuSeconds() - cpu0) / (now / 1000) * 100;
        std::sort(gaps.begin(), gaps.end());
        std::printf("%.2f %.1f %.1f", cpu, gaps.empty() ? 0 : gaps.back(), gaps.empty() ? 0 : gaps[gaps.size() / 2]);
        if (paused <= 0) {
            std::printf("\n");
            std::fflush(stdout);
            app.Form_QueryUnload();
            return;
        }
        app.form1().mnuplaypause->trigger();
        // A second for the pause to settle, then the paused film's share.
        QTimer::singleShot(1000, [&, paused] {
            if (app.videoPlayer().PlayState() != Player::Paused)
                std::_Exit(3);
            const double from = cpuSeconds();
            QTimer::singleShot(int(paused * 1000), [&, from, paused] {
                std::printf(" %.3f\n", (cpuSeconds() - from) / paused * 100);
                std::fflush(stdout);
                app.Form_QueryUnload();
            });
        });
    });
    QTimer::singleShot(3000, [&] {
        if (app.videoPlayer().PlayState() != Player::Playing)
            std::_Exit(3); // the film is not in the video window: no figure
        cpu0 = cpuSeconds();
        clock.start();
    });
    return QApplication::exec();
}

double msSince(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

int scan(App &app, const QString &tree)
{
    Form1 &f = app.form1();
    app.playlist().mnumoresub_Click();
    f.Option1[1]->setChecked(true);
    QElapsedTimer t;
    t.start();
    app.playlist().setDirPath(tree);
    app.playlist().Command4_Click();
    const double addMs = msSince(t);
    // The recovery copy takes the new list at its next write, on the window's thread.
    t.restart();
    app.session().writeRecovery();
    std::printf("%.3f ms, %d entries, recovery write %.3f ms\n", addMs, f.List2->count(), msSince(t));
    return f.List2->count() > 0 ? 0 : 1;
}

int save(App &app, int n)
{
    app.form1().List2->setItems(libraryNames(n));
    app.playback().resetMarksToPlaylist();
    QElapsedTimer t;
    t.start();
    app.session().SaveState();
    const double ms = msSince(t);
    std::printf("%.3f ms, %lld bytes\n", ms, (long long)QFileInfo(app.session().statePath()).size());
    return 0;
}

int search(App &app, int n, const QString &needle)
{
    Form1 &f = app.form1();
    f.List2->setItems(libraryNames(n));
    app.playback().resetMarksToPlaylist();
    app.playback().put_form4(); // as after a load: the completed rows wait for the first look
    f.Text2->setText(needle);
    QElapsedTimer t;
    t.start();
    app.playlist().Command6_Click();
    std::printf("%.3f ms, %s\n", msSince(t), qPrintable(f.Text2->text()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" || mode == "film") {
        // As main() does: no bus daemon launched on our behalf.
        const QByteArray bus = mpris::addressWithoutAutolaunch(qgetenv("DBUS_SESSION_BUS_ADDRESS"),
                                                               qgetenv("XDG_RUNTIME_DIR"), ::getuid());
        if (!bus.isEmpty())
            ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.constData(), 1);
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velloran"));
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    const QStringList args = QApplication::arguments();
    if (mode == "session" && args.size() == 6)
        return writeSession(args[2], args[3], args[4].toInt(), args[5].toInt());
    if (mode == "startup" && args.size() == 3)
        return startup(args[2].toDouble());
    if (mode == "film" && (args.size() == 3 || args.size() == 4))
        return film(args[2].toDouble(), args.size() == 4 ? args[3].toDouble() : 0);
    if (mode == "names" && args.size() == 4)
        return writeNames(args[2].toInt(), args[3]);

    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    App app({testkit::headless()});
    app.Form_Load();
    app.form1().Timer1->stop();
    if (mode == "scan" && args.size() == 3)
        return scan(app, args[2]);
    if (mode == "save" && args.size() == 3)
        return save(app, args[2].toInt());
    if (mode == "search" && args.size() == 4)
        return search(app, args[2].toInt(), args[3]);
    std::fprintf(stderr, "usage: bench_figures session|startup|film|scan|save|search ...\n");
    return 64;
}
