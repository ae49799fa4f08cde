#pragma once
// The video window: nothing but its player's picture. It is closed by the user and made
// anew on its next use.

#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>

class Form2 : public QWidget {
    Q_OBJECT
public:
    // makePicture: the player's picture, made as a child of the window it is given.
    explicit Form2(const std::function<QWidget *(QWidget *window)> &makePicture, QWidget *parent = nullptr);
    QWidget *MediaPlayer1;

    void toggleFullScreen();
    void leaveFullScreen();
    // How long the pointer may rest over the picture in fullscreen before it hides.
    static constexpr int kPointerRestMs = 2000;

signals:
    // The user closes the window; it is deleted right after.
    void closing();
    // A right click on the picture.
    void menuWanted(const QPoint &global);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pointerMoved();
    QRect m_normal;
    QTimer m_pointerRest;
};
