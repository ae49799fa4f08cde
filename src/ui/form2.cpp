#include "ui/form2.h"

#include "playback/video_view.h"

#include <QCloseEvent>
#include <QVBoxLayout>
#include <mpv/client.h>

Form2::Form2(mpv_handle *videoPlayer, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Velloran Video"));
    // Lets window managers (and the end-to-end check) tell it from the main window, whose
    // caption it copies.
    setWindowRole(QStringLiteral("video"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (VideoView::openGLAvailable()) {
        MediaPlayer1 = new VideoView(videoPlayer, this);
    } else {
        MediaPlayer1 = new QWidget(this);
        MediaPlayer1->setStyleSheet(QStringLiteral("background: black"));
        // Nothing can take the pictures: drop them, so that the film still plays with its
        // sound instead of failing to open.
        if (videoPlayer)
            mpv_set_property_string(videoPlayer, "vo", "null");
    }
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(MediaPlayer1);
    resize(647, 529);
}

void Form2::closeEvent(QCloseEvent *event)
{
    emit closing();
    event->accept();
}
