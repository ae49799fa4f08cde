#include "app/app.h"
#include "app/mpris_logic.h"
#include "app/open_args.h"
#include "app/shutdown_signals.h"
#include "app/single_instance.h"
#include "base/fsname.h"

#include <QApplication>
#include <QDir>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails (EFBIG) and is handled as a full disk is,
    // instead of the signal ending the run with its place unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    // Every libmpv thread would otherwise get a malloc arena of its own, each kept at its peak:
    // a long run's resident memory grew by 100 MiB with no more in use.
    mallopt(M_ARENA_MAX, 1);
    // Without a session bus Qt's parts (tray, accessibility, media control) would make libdbus
    // launch a bus daemon that outlives the program; point them at the standard socket instead.
    const QByteArray bus
        = mpris::addressWithoutAutolaunch(qgetenv("DBUS_SESSION_BUS_ADDRESS"), qgetenv("XDG_RUNTIME_DIR"), ::getuid());
    if (!bus.isEmpty())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.constData(), 1);
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velloran"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(QStringLiteral("velloran"));
    // The window is hidden to the tray and shown again; only Form_QueryUnload ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv refuses to start under a locale with another decimal separator.
    std::setlocale(LC_NUMERIC, "C");

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(fsname::decode(argv[i], qsizetype(std::strlen(argv[i]))));
    // Before anything is read or written: a second start only hands its files over.
    SingleInstance instance;
    switch (instance.claim(open_args::localPaths(args, QDir::currentPath()))) {
    case SingleInstance::Claim::First:
        break;
    case SingleInstance::Claim::HandedOver:
        return 0;
    case SingleInstance::Claim::Locked:
        std::fputs("velloran: already running for this user; this start ends without touching its session.\n", stderr);
        return 1;
    case SingleInstance::Claim::Failed:
        std::fputs("velloran: the running program did not take the files.\n", stderr);
        return 1;
    }

    App app;
    shutdown_signals::install([&app] { app.Form_QueryUnload(); });
    app.Form_Load();
    instance.serve([&app](const QStringList &files) { app.openFiles(files); });
    return QApplication::exec();
}
