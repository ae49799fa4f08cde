#include "app/shutdown_signals.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace shutdown_signals {
namespace {

int g_fds[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe work here: wake the Qt thread through the socket pair.
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &c, 1);
}

} // namespace

void install(const std::function<void()> &onShutdown)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        return;
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [onShutdown] {
        char buf[16];
        [[maybe_unused]] const ssize_t n = ::read(g_fds[1], buf, sizeof buf);
        onShutdown();
    });

    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);

    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QObject::connect(
            gui, &QGuiApplication::commitDataRequest, gui, [onShutdown](QSessionManager &) { onShutdown(); },
            Qt::DirectConnection);
    }
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [onShutdown] { onShutdown(); });
}

} // namespace shutdown_signals
