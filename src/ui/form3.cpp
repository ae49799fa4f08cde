#include "ui/form3.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

Form3::Form3(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    WebBrowser1 = new QTextBrowser(Frame3);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    Picture3 = new QLabel(Frame3);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Label1 = new QLabel(Frame3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Command1 = new QPushButton(QStringLiteral("Εντάξει - O.K."), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(600);

    auto *inner = new QVBoxLayout(Frame3);
    inner->addWidget(WebBrowser1, 1);
    inner->addWidget(Picture3, 0, Qt::AlignCenter);
    inner->addWidget(Label1, 0, Qt::AlignCenter);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(Frame3, 1);
    lay->addWidget(Command1, 0, Qt::AlignRight);
    resize(420, 360);
}
