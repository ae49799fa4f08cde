#include "playback/wake.h"

#include "playback/player.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

Wake::Wake(QTimer &timer, std::function<bool()> mayRest, QObject *parent)
    : QObject(parent)
    , m_timer(timer)
    , m_mayRest(std::move(mayRest))
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_mayRest())
            return;
        m_timer.stop();
        m_resting = true;
        emit running(false);
    });
    QCoreApplication::instance()->installEventFilter(this);
}

void Wake::watch(Player &p)
{
    // Direct: the timer runs again before any queued handler of the same signal asks.
    connect(&p, &Player::changed, this, &Wake::wake);
    connect(&p, &Player::ended, this, &Wake::wake);
}

void Wake::wake()
{
    if (!m_resting)
        return;
    m_resting = false;
    m_timer.start();
    emit running(true);
}

bool Wake::eventFilter(QObject *watched, QEvent *event)
{
    if (m_resting) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Drop:
        case QEvent::MetaCall:
            wake();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
