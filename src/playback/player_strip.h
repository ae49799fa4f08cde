#pragma once
// The main window's player as a person sees it: a strip with play, pause and stop, a seek
// slider that can be dragged, and the elapsed and total time.

#include <QWidget>

class Player;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;

class PlayerStrip : public QWidget {
    Q_OBJECT
public:
    explicit PlayerStrip(QWidget *parent = nullptr);
    void setPlayer(Player *player);
    Player *player() const { return m_player; }

    QToolButton *playButton() const { return m_play; }
    QToolButton *pauseButton() const { return m_pause; }
    QToolButton *stopButton() const { return m_stop; }
    QToolButton *backButton() const { return m_back; }
    QToolButton *forwardButton() const { return m_forward; }
    QSlider *seekSlider() const { return m_slider; }
    // Whether the strip is following a playing file (its refresh timer runs).
    bool following() const;

signals:
    // The skip buttons: seconds to move (negative: back); the owner of places moves it.
    void skipRequested(double seconds);

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void refresh();
    Player *m_player = nullptr;
    QToolButton *m_play;
    QToolButton *m_pause;
    QToolButton *m_stop;
    QToolButton *m_back;
    QToolButton *m_forward;
    QSlider *m_slider;
    QLabel *m_time;
    QTimer *m_timer;
};
