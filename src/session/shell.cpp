#include "session/shell.h"

#include "playback/player.h"
#include "playback/status_logic.h"
#include "session/app.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSystemTrayIcon>

void Shell::AddTrayIcon()
{
    m_tip = status::tipField(QStringLiteral("Velloran"));
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(app.form1().windowIcon(), this);
        m_icon->setContextMenu(app.form1().mnusystemtray);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger)
                trayLeftClick();
        });
    }
    m_icon->setToolTip(status::shownTip(m_tip).trimmed());
    m_icon->show();
}

void Shell::RemoveTrayIcon()
{
    if (m_icon)
        m_icon->hide();
}

void Shell::setTrayTip(const QString &field)
{
    m_tip = field;
    if (m_icon)
        m_icon->setToolTip(status::shownTip(field));
}

void Shell::trayLeftClick()
{
    Form1 &f = app.form1();
    const bool show = !f.isVisible();
    if (show) {
        f.showNormal();
        f.raise();
        f.activateWindow();
    } else {
        f.hide();
    }
}

void Shell::mnusystemtraypause_Click()
{
    Player &p = app.mainPlayer().inUse() ? app.mainPlayer() : app.videoPlayer();
    QAction *item = app.form1().mnusystemtraypause;
    if (p.PlayState() == Player::Playing) {
        p.Pause();
        item->setChecked(true);
    } else {
        p.Play();
        item->setChecked(false);
    }
}

QString Shell::executableName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString Shell::executableFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString Shell::autostartPath(const QString &valueName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/") + valueName + QStringLiteral(".desktop");
}

bool Shell::RunAtStartupIsSet(const QString &valueName)
{
    return QFileInfo::exists(autostartPath(valueName));
}

void Shell::SetRunAtStartup(const QString &valueName, const QString &folder, bool enable)
{
    const QString path = autostartPath(valueName);
    if (!enable) {
        QFile::remove(path); // a missing entry is silent
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        dialogs::MsgBox(QStringLiteral("Error 1 opening key\r\n") + QFileInfo(path).path()
                            + QStringLiteral(": cannot create the folder"),
                        dialogs::Style::OkPlain);
        return;
    }
    const QString exec = folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/"))
                         + valueName;
    QSaveFile file(path);
    const QByteArray entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Velloran\n"
                                            "Exec=\"%1\"\nX-GNOME-Autostart-enabled=true\n")
                                 .arg(exec)
                                 .toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit()) {
        dialogs::MsgBox(QStringLiteral("Error %1 setting key\r\n%2").arg(int(file.error())).arg(file.errorString()),
                        dialogs::Style::OkPlain);
    }
}

void Shell::mnumorewindows_Click()
{
    QAction *item = app.form1().mnumorewindows;
    item->setChecked(!item->isChecked());
    SetRunAtStartup(executableName(), executableFolder(), item->isChecked());
}
