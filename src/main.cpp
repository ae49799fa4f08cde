#include "session/app.h"
#include "session/shutdown_signals.h"

#include <QApplication>
#include <clocale>

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velloran"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(QStringLiteral("velloran"));
    // The window is hidden to the tray and shown again; only Form_QueryUnload ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv refuses to start under a locale with another decimal separator.
    std::setlocale(LC_NUMERIC, "C");

    App app;
    shutdown_signals::install([&app] { app.Form_QueryUnload(); });
    app.Form_Load();
    return QApplication::exec();
}
