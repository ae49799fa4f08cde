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
    QSlider *seekSlider() const { return m_slider; }
    // Whether the strip is following a playing file (its refresh timer runs).
    bool following() const;

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void refresh();
    Player *m_player = nullptr;
    QToolButton *m_play;
    QToolButton *m_pause;
    QToolButton *m_stop;
    QSlider *m_slider;
    QLabel *m_time;
    QTimer *m_timer;
};
