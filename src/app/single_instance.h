#pragma once
// One program per user. The first start owns a name on the session bus, and later starts
// hand their files to it there; without a bus a lock in the state folder keeps a second
// program from writing the same session.

#include <QObject>
#include <QStringList>
#include <functional>

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velloran.Velloran")
public:
    enum class Claim { First, HandedOver, Locked, Failed };

    ~SingleInstance() override;
    // First: this program runs, and the files wait for serve(). HandedOver: the running one
    // has them. Locked: another program runs without a bus. Failed: the running one did not answer.
    Claim claim(const QStringList &files);
    // From here on, files given now or by later starts go to open (an empty list: only raise).
    void serve(std::function<void(const QStringList &)> open);

public slots:
    Q_SCRIPTABLE void Open(const QStringList &files);

private:
    void deliver();

    std::function<void(const QStringList &)> m_open;
    QStringList m_pending;
    bool m_raise = false;
    int m_lock = -1;
};
