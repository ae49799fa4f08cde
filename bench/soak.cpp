// A monkey run: random clicks, keys and menu presses on the real program (real players)
// with a playlist of 200 small generated files, for SOAK_SECONDS (default 600). Checks that
// the UI thread answers within 1 s all along (a watchdog thread pings it) and that resident
// memory grows by at most 5 MiB after the first minute; prints its figures and exits 1 when
// a check fails (a crash ends it with the signal: bench/soak.sh reports that).
// Usage: soak [SEED]   (under an X server)

#include "app/app.h"
#include "app/mpris_logic.h"
#include "state/session_file.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kFiles = 200;
constexpr double kHangSeconds = 1.0;
constexpr double kGrowthMiB = 5.0;

double residentMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

// Bytes the allocator has handed out and not had back: a leak grows this, fragmentation and
// the renderer's mappings do not.
double heapMiB()
{
    const struct mallinfo2 mi = ::mallinfo2();
    return double(mi.uordblks + mi.hblkhd) / 1048576.0;
}

int objectCount()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += 1 + int(w->findChildren<QObject *>().size());
    return n;
}

double loadAverage()
{
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Pings the UI thread every 100 ms from a thread of its own and keeps the longest wait for
// its answer; a wait of 30 s is a hang that never ends, reported from here.
// The monkey's last act, read by the watchdog when a wait is the longest so far.
std::mutex g_actMutex;
std::string g_lastAct;

void noteAct(const QString &what)
{
    const std::lock_guard<std::mutex> lock(g_actMutex);
    g_lastAct = what.toStdString();
}

class Watchdog {
public:
    std::atomic<qint64> longestMs{0};
    std::atomic<int> overLimit{0};
    std::string longestAfter; // read after stop()

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void run()
    {
        while (!m_stop) {
            auto answered = std::make_shared<std::atomic<bool>>(false);
            QElapsedTimer wait;
            wait.start();
            QMetaObject::invokeMethod(
                qApp, [answered] { *answered = true; }, Qt::QueuedConnection);
            bool counted = false;
            while (!*answered && !m_stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (!counted && wait.elapsed() > qint64(kHangSeconds * 1000)) {
                    counted = true;
                    ++overLimit;
                }
                if (wait.elapsed() > 30000) {
                    {
                        const std::lock_guard<std::mutex> lock(g_actMutex);
                        std::printf("soak: FAILED, the window has not answered for 30 s since: %s (load %.2f)\n",
                                    g_lastAct.c_str(), loadAverage());
                    }
                    std::fflush(stdout);
                    // Where the UI thread stands, when a debugger is at hand.
                    const QByteArray gdb = "gdb -p " + QByteArray::number(::getpid())
                        + " -batch -ex 'thread 1' -ex bt 2>/dev/null | grep '^#'";
                    if (std::system(gdb.constData()) != 0)
                        std::printf("soak: (no backtrace: gdb missing)\n");
                    std::_Exit(1);
                }
            }
            if (wait.elapsed() > longestMs) {
                longestMs = wait.elapsed();
                const std::lock_guard<std::mutex> lock(g_actMutex);
                longestAfter = g_lastAct;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

// Four short files of each kind the program plays, copied under 200 names.
QStringList makePlaylist(const QString &dir)
{
    const QString kinds[]
        = {QStringLiteral("mp3"), QStringLiteral("wav"), QStringLiteral("mkv"), QStringLiteral("avi")};
    QStringList sources;
    for (const QString &kind : kinds)
        sources.append(testkit::makeMedia(dir, QStringLiteral("source.") + kind, kind, 2 + int(sources.size())));
    QStringList entries;
    for (int i = 0; i < kFiles; ++i) {
        const QString &from = sources[i % sources.size()];
        const QString to
            = dir + QStringLiteral("/track %1.").arg(i, 3, 10, QLatin1Char('0')) + QFileInfo(from).suffix();
        QFile::copy(from, to);
        entries.append(to);
    }
    for (const QString &from : sources)
        QFile::remove(from);
    return entries;
}

void writeSession(const QString &cwd, const QStringList &entries)
{
    state::Snapshot s;
    s.drive = QStringLiteral("/");
    s.folder = QFileInfo(entries.first()).absolutePath();
    s.lastIndex = 0;
    s.currentEntry = entries.first();
    s.entries = entries;
    s.playedMarks.assign(size_t(entries.size()), 0);
    s.replayMode = 2; // all: the run never stops for the end of the list
    QFile f(cwd + QStringLiteral("/velloran.txt"));
    if (!f.open(QIODevice::WriteOnly) || f.write(state::encode(s)) < 0)
        qFatal("cannot write the session file");
}

class Monkey {
public:
    explicit Monkey(App &app, quint32 seed)
        : m_app(app)
        , m_rng(seed)
    {
        for (QAction *a : app.form1().menuBar()->actions())
            collect(a);
    }

    int steps = 0, clicks = 0, keys = 0, menus = 0, boxesClosed = 0;

    void step()
    {
        ++steps;
        if (QWidget *box = openBox()) {
            // A box or a menu is up: act in it as a person would, and close it before long.
            if (!m_boxClock.isValid() || m_box != box) {
                m_box = box;
                m_boxClock.start();
            }
            if (m_boxClock.elapsed() > 1500) {
                closeBox(box);
                return;
            }
            (m_rng.bounded(2) == 0) ? clickIn(box) : key(box);
            return;
        }
        m_box = nullptr;
        // Every menu entry once first, so that what is made on first use (the windows, the
        // film's renderer) is made before memory is judged.
        if (m_warmed < m_actions.size()) {
            QAction *a = m_actions[m_warmed++];
            if (a->isEnabled()) {
                ++menus;
                noteAct(QStringLiteral("menu ") + a->text());
                a->trigger();
            }
            return;
        }
        const int pick = int(m_rng.bounded(100));
        if (pick < 45)
            clickIn(randomWindow());
        else if (pick < 75)
            key(QApplication::focusWidget() ? QApplication::focusWidget() : &m_app.form1());
        else
            menu();
    }

private:
    // Quit ends the run, the programming page opens a browser.
    void collect(QAction *a)
    {
        if (a->menu()) {
            for (QAction *sub : a->menu()->actions())
                collect(sub);
            return;
        }
        const Form1 &f = m_app.form1();
        if (!a->isSeparator() && a != f.mnusystemtrayexit && a != f.mnu_instr)
            m_actions.append(a);
    }

    // Popup menus, and the boxes that hold input elsewhere (not modal to Qt, see dialogs.cpp).
    static QWidget *openBox()
    {
        if (QWidget *w = QApplication::activePopupWidget())
            return w;
        if (QWidget *w = QApplication::activeModalWidget())
            return w;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<QDialog *>(w))
                return w;
        return nullptr;
    }

    void closeBox(QWidget *box)
    {
        ++boxesClosed;
        m_box = nullptr;
        if (auto *d = qobject_cast<QDialog *>(box))
            d->done(QDialog::Rejected);
        else
            box->close();
    }

    QWidget *randomWindow()
    {
        QList<QWidget *> windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && !qobject_cast<QMenu *>(w))
                windows.append(w);
        return windows.isEmpty() ? &m_app.form1() : windows[int(m_rng.bounded(quint32(windows.size())))];
    }

    // The folder boxes stay out: a walk up to / and an Add of it all would measure the disk.
    bool allowed(QWidget *w) const
    {
        const Form1 &f = m_app.form1();
        for (QWidget *p = w; p; p = p->parentWidget())
            if (p == f.Drive1 || p == f.Dir1)
                return false;
        return true;
    }

    void clickIn(QWidget *window)
    {
        QList<QWidget *> targets;
        for (QWidget *w : window->findChildren<QWidget *>())
            if (w->isVisible() && w->isEnabled() && allowed(w) && w->width() > 0 && w->height() > 0)
                targets.append(w);
        QWidget *w = targets.isEmpty() ? window : targets[int(m_rng.bounded(quint32(targets.size())))];
        const QPoint at(int(m_rng.bounded(quint32(std::max(1, w->width())))),
                        int(m_rng.bounded(quint32(std::max(1, w->height())))));
        ++clicks;
        QPointer<QWidget> guard(w);
        const int how = int(m_rng.bounded(10));
        noteAct(QStringLiteral("click %1 %2 on %3 %4")
                    .arg(how)
                    .arg(QLatin1String(w->metaObject()->className()), w->objectName(), w->window()->objectName()));
        if (how < 7)
            QTest::mouseClick(w, Qt::LeftButton, {}, at);
        else if (how < 9)
            QTest::mouseDClick(w, Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(w, Qt::RightButton, {}, at);
    }

    void key(QWidget *target)
    {
        static const std::pair<Qt::Key, Qt::KeyboardModifiers> keyList[] = {
            {Qt::Key_Space, {}},
            {Qt::Key_Return, {}},
            {Qt::Key_Escape, {}},
            {Qt::Key_Tab, {}},
            {Qt::Key_Tab, Qt::ShiftModifier},
            {Qt::Key_Left, {}},
            {Qt::Key_Right, {}},
            {Qt::Key_Up, {}},
            {Qt::Key_Down, {}},
            {Qt::Key_PageUp, {}},
            {Qt::Key_PageDown, {}},
            {Qt::Key_Left, Qt::AltModifier},
            {Qt::Key_Right, Qt::AltModifier},
            {Qt::Key_Left, Qt::ControlModifier},
            {Qt::Key_Right, Qt::ControlModifier},
            {Qt::Key_PageUp, Qt::ControlModifier},
            {Qt::Key_PageDown, Qt::ControlModifier},
            {Qt::Key_BracketLeft, {}},
            {Qt::Key_BracketRight, {}},
            {Qt::Key_Backspace, {}},
            {Qt::Key_F, {}},
            {Qt::Key_M, {}},
            {Qt::Key_9, {}},
            {Qt::Key_0, {}},
            {Qt::Key_A, {}},
            {Qt::Key_R, Qt::ControlModifier},
            {Qt::Key_U, Qt::ControlModifier},
            {Qt::Key_C, Qt::ControlModifier},
            {Qt::Key_P, Qt::ControlModifier},
            {Qt::Key_E, Qt::ControlModifier},
            {Qt::Key_V, Qt::ControlModifier},
            {Qt::Key_H, Qt::ControlModifier},
            {Qt::Key_T, Qt::ControlModifier},
            {Qt::Key_N, Qt::ControlModifier},
            {Qt::Key_O, Qt::ControlModifier},
            {Qt::Key_A, Qt::ControlModifier},
            {Qt::Key_D, Qt::ControlModifier},
        };
        const auto &[k, mods] = keyList[m_rng.bounded(quint32(std::size(keyList)))];
        ++keys;
        if (!allowed(target))
            target = &m_app.form1();
        noteAct(QStringLiteral("key %1 (modifiers %2) on %3")
                    .arg(int(k), 0, 16)
                    .arg(int(mods))
                    .arg(QLatin1String(target->metaObject()->className())));
        QTest::keyClick(target, k, mods);
    }

    void menu()
    {
        QAction *a = m_actions[int(m_rng.bounded(quint32(m_actions.size())))];
        if (!a->isEnabled())
            return;
        ++menus;
        noteAct(QStringLiteral("menu ") + a->text());
        a->trigger();
    }

    App &m_app;
    QRandomGenerator m_rng;
    QList<QAction *> m_actions;
    qsizetype m_warmed = 0;
    QPointer<QWidget> m_box;
    QElapsedTimer m_boxClock;
};

} // namespace

int main(int argc, char *argv[])
{
    mallopt(M_ARENA_MAX, 1); // as main() does
    // As main() does: no bus daemon launched on our behalf.
    const QByteArray bus
        = mpris::addressWithoutAutolaunch(qgetenv("DBUS_SESSION_BUS_ADDRESS"), qgetenv("XDG_RUNTIME_DIR"), ::getuid());
    if (!bus.isEmpty())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.constData(), 1);
    QTemporaryDir work;
    const QString home = work.path();
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", (home + QStringLiteral("/state")).toLocal8Bit());
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velloran"));
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    const double seconds = std::max(10.0, qEnvironmentVariable("SOAK_SECONDS", QStringLiteral("600")).toDouble());
    const quint32 seed = argc > 1 ? quint32(std::strtoul(argv[1], nullptr, 10)) : quint32(::getpid());
    // The about window's link and the like would start a browser.
    QObject sink;
    for (const char *scheme : {"http", "https", "file", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &sink, "deleteLater");

    QDir().mkpath(home + QStringLiteral("/media"));
    const QStringList entries = makePlaylist(home + QStringLiteral("/media"));
    QDir::setCurrent(home);
    writeSession(home, entries);

    App app;
    app.Form_Load();
    Monkey monkey(app, seed);
    Watchdog dog;
    dog.start();

    // Memory is judged from the end of the first minute (of the first fifth of a short run).
    const double settle = std::min(60.0, seconds / 5);
    double baseline = -1, peak = 0, last = 0;
    int reported = 0;
    QElapsedTimer clock;
    clock.start();
    std::printf("soak: %.0f s, seed %u, %d files\n", seconds, seed, kFiles);
    std::fflush(stdout);

    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const double t = double(clock.elapsed()) / 1000;
        last = residentMiB();
        if (baseline < 0 && t >= settle)
            baseline = last;
        if (baseline >= 0)
            peak = std::max(peak, last);
        // A line every 30 s, also when a late sample skips the exact second.
        if (int(t) / 30 != reported) {
            reported = int(t) / 30;
            std::printf("  %4.0f s: resident %.1f MiB, heap %.1f MiB, %d objects, %d entries, longest wait %lld ms,"
                        " load %.2f\n",
                        t, last, heapMiB(), objectCount(), app.form1().List2->count(), (long long)dog.longestMs,
                        loadAverage());
        }
        std::fflush(stdout);
        if (t < seconds)
            return;
        dog.stop();
        const double growth = last - baseline;
        const bool memOk = growth <= kGrowthMiB, hangOk = dog.overLimit == 0;
        std::printf("soak: %d steps (%d clicks, %d keys, %d menu presses, %d boxes closed)\n", monkey.steps,
                    monkey.clicks, monkey.keys, monkey.menus, monkey.boxesClosed);
        std::printf("soak: resident %.1f MiB at %.0f s, %.1f MiB at the end (%+.1f, peak %.1f): %s\n", baseline, settle,
                    last, growth, peak, memOk ? "ok" : "FAILED, over 5 MiB");
        std::printf("soak: longest wait of the UI thread %lld ms, %d waits over 1 s: %s (load %.2f)\n",
                    (long long)dog.longestMs, int(dog.overLimit), hangOk ? "ok" : "FAILED", loadAverage());
        std::printf("soak: the longest wait came after: %s\n", dog.longestAfter.c_str());
        std::printf("soak: %s\n", memOk && hangOk ? "passed" : "FAILED");
        std::fflush(stdout);
        QDir(home).removeRecursively();
        std::_Exit(memOk && hangOk ? 0 : 1);
    });
    sampler.start(1000);

    // Each step is a timer of its own, so that a step held in a box's loop does not stop the
    // next one, which then acts in that box.
    std::function<void()> next = [&] {
        QTimer::singleShot(int(40 + QRandomGenerator::global()->bounded(80)), next);
        monkey.step();
    };
    QTimer::singleShot(2000, next);
    return QApplication::exec();
}
