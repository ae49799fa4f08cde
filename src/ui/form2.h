#pragma once
// The video window: nothing but its player's picture. It is closed by the user and made
// anew on its next use.

#include <QWidget>
#include <functional>

class Form2 : public QWidget {
    Q_OBJECT
public:
    // makePicture: the player's picture, made as a child of the window it is given.
    explicit Form2(const std::function<QWidget *(QWidget *window)> &makePicture, QWidget *parent = nullptr);
    QWidget *MediaPlayer1;

signals:
    // The user closes the window; it is deleted right after.
    void closing();

protected:
    void closeEvent(QCloseEvent *event) override;
};
