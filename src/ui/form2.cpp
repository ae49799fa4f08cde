#include "ui/form2.h"

#include "playback/video_view.h"

#include <QCloseEvent>
#include <QVBoxLayout>

Form2::Form2(mpv_handle *videoPlayer, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Velloran Video"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (VideoView::openGLAvailable()) {
        MediaPlayer1 = new VideoView(videoPlayer, this);
    } else {
        MediaPlayer1 = new QWidget(this);
        MediaPlayer1->setStyleSheet(QStringLiteral("background: black"));
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
