#include "ui/form3.h"

#include "info/info_texts.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

void ClickLabel::keyPressEvent(QKeyEvent *event)
{
    // Reached by Tab, the link opens on Enter as on a click.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

namespace {
// The picture the window carries of its own: the program's symbol and name.
QPixmap builtInPicture()
{
    QPixmap pm(240, 120);
    pm.fill(QColor(24, 32, 48));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 130, 220));
    p.drawEllipse(QRect(20, 24, 72, 72));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygon({QPoint(46, 42), QPoint(46, 78), QPoint(76, 60)}));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(104, 0, 130, 120), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Velloran"));
    return pm;
}
} // namespace

Form3::Form3(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Προγραμματισμός - Programming"));
    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    WebBrowser1 = new QTextBrowser(Frame3);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    Picture3 = new QLabel(Frame3);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setPixmap(builtInPicture());
    Label1 = new ClickLabel(info::kMakerPage, Frame3);
    Label1->setFocusPolicy(Qt::StrongFocus);
    Label1->setAccessibleName(info::kMakerPage);
    Label1->setAccessibleDescription(QStringLiteral("Σύνδεσμος - Link"));
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont linkFont(QStringLiteral("Tahoma"));
    linkFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    Label1->setCursor(Qt::PointingHandCursor);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(blue);
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
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, Command1, &QPushButton::click);
    Picture3->setAccessibleName(QStringLiteral("Σύμβολο του Velloran - Velloran logo"));
    WebBrowser1->setAccessibleName(QStringLiteral("Περιγραφή - Description"));
}
