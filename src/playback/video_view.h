#pragma once
// Draws an mpv player's picture into a widget through mpv's OpenGL render API.

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

class VideoView : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit VideoView(mpv_handle *mpv, QWidget *parent = nullptr);
    ~VideoView() override;

    // Whether this display can give the view an OpenGL context at all.
    static bool openGLAvailable();
    // The picture for a video window where the display has OpenGL: on X11 drawn by the player
    // into a window of its own, elsewhere through this view; else a plain black area.
    static QWidget *makePicture(mpv_handle *mpv, QWidget *window);

protected:
    void initializeGL() override;
    void paintGL() override;

private slots:
    void frameReady();

private:
    // A native area the player draws into by itself.
    static QWidget *embedded(mpv_handle *mpv, QWidget *window);
    mpv_handle *m_mpv;
    mpv_render_context *m_ctx = nullptr;
};
