#include "ui/form4.h"

#include "ui/listbox.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

Form4::Form4(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(kCaption);
    List1 = new ListBox(ListBox::Selection::Extended, this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("Ολοκληρωμένα - Completed"));
    Command1 = new QPushButton(QStringLiteral("X"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("Κλείσιμο - Close"));
    Label3 = new QLabel(QStringLiteral("Τρέχων-Current : Όλα-Total : Υπολείπονται-Remaining"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(QStringLiteral(":       :"), this);
    Label2->setObjectName(QStringLiteral("Label2"));

    auto *top = new QHBoxLayout;
    top->addWidget(Label3, 1);
    top->addWidget(Command1);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(Label2);
    Label4 = new QLabel(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setWordWrap(true);
    lay->addWidget(Label4);
    lay->addWidget(List1, 1);
    resize(420, 560);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, Command1, &QPushButton::click);
}

void Form4::showEvent(QShowEvent *event)
{
    emit aboutToShow();
    QWidget::showEvent(event);
}

void Form4::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}
