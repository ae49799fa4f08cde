#include "playback/video_view.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <mpv/client.h>
#include <mpv/render_gl.h>

namespace {

void *procAddress(void *, const char *name)
{
    QOpenGLContext *ctx = QOpenGLContext::currentContext();
    return ctx ? reinterpret_cast<void *>(ctx->getProcAddress(QByteArray(name))) : nullptr;
}

void onUpdate(void *ctx)
{
    // Called on an mpv thread: hand over to ours.
    QMetaObject::invokeMethod(static_cast<VideoView *>(ctx), "frameReady", Qt::QueuedConnection);
}

} // namespace

VideoView::VideoView(mpv_handle *mpv, QWidget *parent)
    : QOpenGLWidget(parent)
    , m_mpv(mpv)
{
    setAccessibleName(QStringLiteral("Βίντεο - Video"));
}

VideoView::~VideoView()
{
    if (m_ctx) {
        makeCurrent();
        mpv_render_context_set_update_callback(m_ctx, nullptr, nullptr);
        mpv_render_context_free(m_ctx);
        doneCurrent();
    }
}

bool VideoView::openGLAvailable()
{
    static const bool available = [] {
        QOpenGLContext probe;
        return probe.create();
    }();
    return available;
}

QWidget *VideoView::makePicture(mpv_handle *mpv, QWidget *window)
{
    if (openGLAvailable() && mpv && QGuiApplication::platformName() == QLatin1String("xcb"))
        return embedded(mpv, window);
    if (openGLAvailable())
        return new VideoView(mpv, window);
    auto *black = new QWidget(window);
    black->setStyleSheet(QStringLiteral("background: black"));
    // Nothing can take the pictures: drop them, so that the film still plays with its sound
    // instead of failing to open.
    if (mpv)
        mpv_set_property_string(mpv, "vo", "null");
    return black;
}

QWidget *VideoView::embedded(mpv_handle *mpv, QWidget *window)
{
    // On X11 the player draws into a window of its own on its own threads, as it does when
    // it plays alone: drawn through this widget, every frame held the UI thread.
    auto *area = new QWidget(window);
    area->setAttribute(Qt::WA_NativeWindow);
    area->setAttribute(Qt::WA_DontCreateNativeAncestors);
    area->setStyleSheet(QStringLiteral("background: black"));
    area->setAccessibleName(QStringLiteral("Βίντεο - Video"));
    auto wid = static_cast<int64_t>(area->winId());
    mpv_set_property(mpv, "wid", MPV_FORMAT_INT64, &wid);
    // Clicks, motion and keys pass through its window to ours: the menu, the double click
    // and the pointer's hiding stay ours.
    mpv_set_property_string(mpv, "input-cursor", "no");
    mpv_set_property_string(mpv, "cursor-autohide", "no");
    // The same OpenGL the view would have had, a software one included.
    mpv_set_property_string(mpv, "gpu-sw", "yes");
    mpv_set_property_string(mpv, "vo", "gpu");
    return area;
}

void VideoView::initializeGL()
{
    if (!m_mpv || m_ctx)
        return;
    mpv_opengl_init_params gl{procAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&m_ctx, m_mpv, params) < 0) {
        m_ctx = nullptr;
        return;
    }
    mpv_render_context_set_update_callback(m_ctx, onUpdate, this);
}

void VideoView::paintGL()
{
    if (!m_ctx)
        return;
    const qreal dpr = devicePixelRatioF();
    mpv_opengl_fbo fbo{int(defaultFramebufferObject()), int(width() * dpr), int(height() * dpr), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(m_ctx, params);
}

void VideoView::frameReady()
{
    if (m_ctx && (mpv_render_context_update(m_ctx) & MPV_RENDER_UPDATE_FRAME))
        update();
}
