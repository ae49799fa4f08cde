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
    // The picture for a video window: drawn through OpenGL where the display has it, else a
    // plain black area.
    static QWidget *makePicture(mpv_handle *mpv, QWidget *window);

protected:
    void initializeGL() override;
    void paintGL() override;

private slots:
    void frameReady();

private:
    mpv_handle *m_mpv;
    mpv_render_context *m_ctx = nullptr;
};
