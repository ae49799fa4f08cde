#pragma once
// Lets a periodic timer sleep while its ticks have nothing to do, and starts it again on the
// first event that may give them work: a player's, a key or a click in any of our windows,
// a queued call (D-Bus, another copy of the program).

#include <QObject>
#include <functional>

class Player;
class QTimer;

class Wake : public QObject {
    Q_OBJECT
public:
    // Connect after the timer's own handlers: the test runs once they are done.
    Wake(QTimer &timer, std::function<bool()> mayRest, QObject *parent);

    void watch(Player &p);
    // Starts the timer again if it rests; a timer stopped by anyone else stays stopped.
    void wake();
    bool resting() const { return m_resting; }

signals:
    // The timer rests (false) or runs again (true).
    void running(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTimer &m_timer;
    std::function<bool()> m_mayRest;
    bool m_resting = false;
};
