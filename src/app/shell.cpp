#include "app/shell.h"

#include "app/autostart_logic.h"
#include "app/mpris.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "state/module1.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void Shell::AddTrayIcon()
{
    m_tip = status::tipField(QStringLiteral("Velloran"));
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(f.windowIcon(), this);
        m_icon->setContextMenu(f.mnusystemtray);
        m_icon->setToolTip(QStringLiteral("Velloran"));
        connect(m_icon, &QSystemTrayIcon::activated, this, &Shell::trayActivated);
    }
    m_icon->setToolTip(status::shownTip(m_tip).trimmed());
    m_icon->show();
}

void Shell::startMediaControl()
{
    if (m_mpris)
        return;
    m_mpris = makeMediaControl();
    m_mpris->setParent(this);
    if (!m_mpris->start()) {
        delete m_mpris;
        m_mpris = nullptr;
    }
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

void Shell::trayActivated(int reason)
{
    // The context menu opens by itself on a right click; a left click is a Trigger.
    if (reason == QSystemTrayIcon::Trigger)
        trayLeftClick();
}

void Shell::trayLeftClick()
{
    const bool show = !f.isVisible();
    // Without a tray nothing could bring a hidden window back.
    if (!show && !trayAvailable())
        return;
    if (show) {
        f.showNormal();
        f.raise();
        f.activateWindow();
    } else {
        f.hide();
        f.setWindowState(f.windowState() | Qt::WindowMinimized);
    }
}

void Shell::mnusystemtraypause_Click()
{
    Player &p = watchedPlayer();
    QAction *item = f.mnusystemtraypause;
    if (p.PlayState() == Player::Playing) {
        p.Pause();
        item->setChecked(true);
    } else {
        p.Play();
        item->setChecked(false);
    }
}

QString Shell::executableName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString Shell::executableFolder() { return QCoreApplication::applicationDirPath(); }

QString Shell::autostartPath(const QString &valueName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
        + valueName + QStringLiteral(".desktop");
}

bool Shell::RunAtStartupIsSet(const QString &valueName) { return QFileInfo::exists(autostartPath(valueName)); }

namespace {
// mkdir -p with the errno of the first step that fails (0 on success).
int makeFolders(const QByteArray &path)
{
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const QByteArray part = path.left(i);
        struct stat st { };
        if (::stat(part.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return ENOTDIR;
            continue;
        }
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

// Writes through a temporary file and a rename, so that a failed write leaves the old entry.
int writeWhole(const QByteArray &path, const QByteArray &data)
{
    const QByteArray tmp = path + ".tmp";
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(tmp.constData());
            return err;
        }
        done += n;
    }
    if (::close(fd) != 0 || ::rename(tmp.constData(), path.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return err;
    }
    return 0;
}

QString keyError(int err, const char *what)
{
    return QStringLiteral("Error %1 %2\r\n%3")
        .arg(err)
        .arg(QLatin1String(what))
        .arg(QString::fromLocal8Bit(strerror(err)));
}
} // namespace

void Shell::SetRunAtStartup(const QString &valueName, const QString &folder, bool enable, const QString &workFolder)
{
    const QString path = autostartPath(valueName);
    if (!enable) {
        QFile::remove(path); // a missing entry is silent
        return;
    }
    if (const int err = makeFolders(QFile::encodeName(QFileInfo(path).path()))) {
        dialogs::MsgBox(keyError(err, "opening key"), dialogs::Style::OkPlain);
        return;
    }
    const QByteArray entry = autostart::entryText(folder, valueName, workFolder).toUtf8();
    if (const int err = writeWhole(QFile::encodeName(path), entry))
        dialogs::MsgBox(keyError(err, "setting key"), dialogs::Style::OkPlain);
}

void Shell::mnumorewindows_Click()
{
    QAction *item = f.mnumorewindows;
    item->setChecked(!item->isChecked());
    // The entry starts the program in the folder of the session in use, so that a start at
    // login resumes that session and not one of the login's working folder.
    SetRunAtStartup(executableName(), executableFolder(), item->isChecked(), m.stateFolder);
}
