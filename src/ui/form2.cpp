#include "ui/form2.h"

#include <QCloseEvent>
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
