#include "ui/form2.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

Form2::Form2(const std::function<QWidget *(QWidget *window)> &makePicture, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Velloran Video"));
    // Lets window managers (and the end-to-end check) tell it from the main window, whose
    // caption it copies.
    setWindowRole(QStringLiteral("video"));
    setAttribute(Qt::WA_DeleteOnClose);
    MediaPlayer1 = makePicture(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    // Motion over the picture without a button wakes the hidden pointer.
    MediaPlayer1->setMouseTracking(true);
    MediaPlayer1->installEventFilter(this);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(MediaPlayer1);
    resize(647, 529);
    m_pointerRest.setSingleShot(true);
    m_pointerRest.setInterval(kPointerRestMs);
    connect(&m_pointerRest, &QTimer::timeout, this, [this] {
        if (isFullScreen())
            MediaPlayer1->setCursor(Qt::BlankCursor);
    });
}

void Form2::toggleFullScreen()
{
    if (isFullScreen()) {
        leaveFullScreen();
        return;
    }
    m_normal = geometry();
    showFullScreen();
    pointerMoved();
}

void Form2::leaveFullScreen()
{
    if (!isFullScreen())
        return;
    m_pointerRest.stop();
    MediaPlayer1->unsetCursor();
    showNormal();
    // Without a window manager nothing else puts the window back where it stood.
    if (m_normal.isValid())
        setGeometry(m_normal);
}

void Form2::pointerMoved()
{
    MediaPlayer1->unsetCursor();
    if (isFullScreen())
        m_pointerRest.start();
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == MediaPlayer1) {
        switch (event->type()) {
        case QEvent::MouseMove:
            pointerMoved();
            break;
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                toggleFullScreen();
                return true;
            }
            break;
        case QEvent::ContextMenu:
            emit menuWanted(static_cast<QContextMenuEvent *>(event)->globalPos());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::closeEvent(QCloseEvent *event)
{
    emit closing();
    event->accept();
}
