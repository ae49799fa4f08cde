#pragma once
// The desktop around the program: the tray icon with its menu, and starting at logon
// through an XDG autostart entry.

#include <QObject>
#include <QString>

class App;
class QSystemTrayIcon;

class Shell : public QObject {
    Q_OBJECT
public:
    explicit Shell(App &app) : app(app) {}

    void AddTrayIcon();
    void RemoveTrayIcon();
    // field: the 64-character tip field; the icon shows it up to its NUL.
    void setTrayTip(const QString &field);
    const QString &trayTip() const { return m_tip; }

    // Left click on the icon: hide or show the main window.
    void trayLeftClick();
    void mnusystemtraypause_Click();

    // The per-user autostart entry named after the executable.
    static QString autostartPath(const QString &valueName);
    static bool RunAtStartupIsSet(const QString &valueName);
    static void SetRunAtStartup(const QString &valueName, const QString &folder, bool enable);
    void mnumorewindows_Click();
    static QString executableName();
    static QString executableFolder();

private:
    App &app;
    QSystemTrayIcon *m_icon = nullptr;
    QString m_tip;
};
