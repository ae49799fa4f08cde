#pragma once
// The desktop around the program: the tray icon with its menu, and starting at logon
// through an XDG autostart entry.

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class Form1;
class Mpris;
class Player;
struct Module1;

class Shell : public QObject {
    Q_OBJECT
public:
    Shell(Module1 &m, Form1 &f)
        : m(m)
        , f(f)
    {
    }

    // The player that has the file now (the tray's pause acts on it).
    std::function<Player &()> watchedPlayer;
    // Makes the media control, not yet registered; the application object knows its parts.
    std::function<Mpris *()> makeMediaControl;

    void AddTrayIcon();
    // MPRIS2 on the session bus, when there is one.
    void startMediaControl();
    Mpris *mediaControl() const { return m_mpris; }
    void RemoveTrayIcon();
    // field: the 64-character tip field; the icon shows it up to its NUL.
    void setTrayTip(const QString &field);
    const QString &trayTip() const { return m_tip; }

    // What the icon reports (a QSystemTrayIcon::ActivationReason).
    void trayActivated(int reason);
    // Whether the desktop has a tray now; tests put their own answer in.
    std::function<bool()> trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // Left click on the icon: hide or show the main window.
    void trayLeftClick();
    void mnusystemtraypause_Click();

    // The per-user autostart entry named after the executable.
    static QString autostartPath(const QString &valueName);
    static bool RunAtStartupIsSet(const QString &valueName);
    // workFolder: the folder the entry starts the program in (none when empty).
    static void SetRunAtStartup(const QString &valueName, const QString &folder, bool enable,
                                const QString &workFolder = {});
    void mnumorewindows_Click();
    static QString executableName();
    static QString executableFolder();

private:
    Module1 &m;
    Form1 &f;
    QSystemTrayIcon *m_icon = nullptr;
    QString m_tip;
    Mpris *m_mpris = nullptr;
};
