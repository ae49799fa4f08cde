#pragma once
// The video window: nothing but its player's picture. It is closed by the user and made
// anew on its next use.

#include <QWidget>

struct mpv_handle;

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(mpv_handle *videoPlayer, QWidget *parent = nullptr);
    // The picture: drawn through OpenGL where the display has it, else a plain black area.
    QWidget *MediaPlayer1;

signals:
    // The user closes the window; it is deleted right after.
    void closing();

protected:
    void closeEvent(QCloseEvent *event) override;
};
