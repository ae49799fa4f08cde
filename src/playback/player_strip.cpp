#include "playback/player_strip.h"

#include "base/numtext.h"
#include "playback/player.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace {
QToolButton *transportButton(QWidget *parent, QStyle::StandardPixmap icon, const QString &name)
{
    auto *b = new QToolButton(parent);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(name);
    b->setAccessibleName(name);
    b->setAutoRaise(true);
    return b;
}
QToolButton *skipButton(QWidget *parent, const QString &text, const QString &name)
{
    auto *b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(name);
    b->setAccessibleName(name);
    b->setAutoRaise(true);
    return b;
}

// A click on the groove jumps there: a page step of a ten-hour file would be an hour.
class JumpingClicks : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Arrows step a second, Page Up/Down ten (the slider's own steps), Shift with an arrow a minute.
class SeekSlider : public QSlider {
public:
    using QSlider::QSlider;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        const bool arrow = e->key() == Qt::Key_Left || e->key() == Qt::Key_Right || e->key() == Qt::Key_Up
            || e->key() == Qt::Key_Down;
        if (!arrow || e->modifiers() != Qt::ShiftModifier) {
            QSlider::keyPressEvent(e);
            return;
        }
        setSingleStep(60);
        QKeyEvent plain(e->type(), e->key(), Qt::NoModifier);
        QSlider::keyPressEvent(&plain);
        setSingleStep(1);
        e->setAccepted(plain.isAccepted());
    }
};
} // namespace

PlayerStrip::PlayerStrip(QWidget *parent)
    : QWidget(parent)
    , m_play(transportButton(this, QStyle::SP_MediaPlay, QStringLiteral("Αναπαραγωγή - Play")))
    , m_pause(transportButton(this, QStyle::SP_MediaPause, QStringLiteral("Παύση - Pause")))
    , m_stop(transportButton(this, QStyle::SP_MediaStop, QStringLiteral("Διακοπή - Stop")))
    , m_back(skipButton(this, QStringLiteral("−10 s"), QStringLiteral("Πίσω 10 δευτερόλεπτα - Back 10 seconds")))
    , m_forward(
          skipButton(this, QStringLiteral("+30 s"), QStringLiteral("Μπροστά 30 δευτερόλεπτα - Forward 30 seconds")))
    , m_slider(new SeekSlider(Qt::Horizontal, this))
    , m_time(new QLabel(QStringLiteral("00:00:00 / 00:00:00"), this))
    , m_timer(new QTimer(this))
{
    setAccessibleName(QStringLiteral("Αναπαραγωγέας - Player"));
    m_slider->setAccessibleName(QStringLiteral("Θέση - Position"));
    m_slider->setRange(0, 0);
    auto *jumping = new JumpingClicks;
    jumping->setParent(m_slider);
    m_slider->setStyle(jumping);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_play);
    row->addWidget(m_pause);
    row->addWidget(m_stop);
    row->addWidget(m_back);
    row->addWidget(m_forward);
    row->addWidget(m_slider, 1);
    row->addWidget(m_time);

    connect(m_play, &QToolButton::clicked, this, [this] {
        if (m_player)
            m_player->Play();
    });
    connect(m_pause, &QToolButton::clicked, this, [this] {
        if (m_player)
            m_player->Pause();
    });
    connect(m_stop, &QToolButton::clicked, this, [this] {
        if (m_player)
            m_player->Stop();
    });
    connect(m_back, &QToolButton::clicked, this, [this] { emit skipRequested(-10); });
    connect(m_forward, &QToolButton::clicked, this, [this] { emit skipRequested(30); });
    // Seek where the user lets go (or steps with the keyboard), not on every pixel.
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        if (m_player)
            m_player->setCurrentPosition(m_slider->value());
    });
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (m_player && action != QAbstractSlider::SliderMove)
            QTimer::singleShot(0, this, [this] { m_player->setCurrentPosition(m_slider->value()); });
    });
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &PlayerStrip::refresh);
}

void PlayerStrip::setPlayer(Player *player)
{
    if (m_player)
        disconnect(m_player, &Player::changed, this, &PlayerStrip::refresh);
    m_player = player;
    // Play, pause, stop, seeks and opens come as changed(); the timer only follows playing.
    // Queued: the strip reads the player after the operation, never inside it.
    if (m_player)
        connect(m_player, &Player::changed, this, &PlayerStrip::refresh, Qt::QueuedConnection);
    refresh();
}

void PlayerStrip::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    refresh();
}

void PlayerStrip::hideEvent(QHideEvent *e)
{
    QWidget::hideEvent(e);
    m_timer->stop();
}

void PlayerStrip::refresh()
{
    // Nothing moves while paused, stopped or idle: no wakeups then.
    const bool moving = isVisible() && m_player && m_player->PlayState() == Player::Playing;
    if (moving != m_timer->isActive())
        moving ? m_timer->start() : m_timer->stop();
    if (!m_player || m_player->openCount() == 0)
        return;
    const double dur = std::max(0.0, m_player->Duration());
    const double pos = std::clamp(m_player->CurrentPosition(), 0.0, dur);
    if (!m_slider->isSliderDown()) {
        m_slider->setRange(0, int(dur));
        m_slider->setValue(int(pos));
    }
    m_time->setText(numtext::hmsText(numtext::roundHalfEven(pos)) + QStringLiteral(" / ")
                    + numtext::hmsText(numtext::roundHalfEven(dur)));
}

bool PlayerStrip::following() const { return m_timer->isActive(); }
