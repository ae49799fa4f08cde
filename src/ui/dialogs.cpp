#include "ui/dialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

namespace dialogs {
namespace {

QPointer<QWidget> g_parent;

class RealBackend : public Backend {
public:
    Answer msgBox(const QString &text, Style style, const QString &title) override
    {
        QMessageBox box(g_parent);
        box.setWindowTitle(title);
        box.setText(text);
        switch (style) {
        case Style::OkExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Style::OkCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Style::OkInformation:
            box.setIcon(QMessageBox::Information);
            break;
        case Style::YesNo:
        case Style::OkPlain:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        box.setStandardButtons(style == Style::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
        waitForAnswer(box);
        if (style == Style::YesNo)
            return box.standardButton(box.clickedButton()) == QMessageBox::Yes ? Answer::Yes : Answer::No;
        return Answer::Ok;
    }

    // Input elsewhere waits for the answer as with a modal box, but the box is not modal:
    // Qt refuses a window manager's close of a window under a modal box, and the main
    // window's close must always save and quit. Menus stay open to the tray's Quit.
    static void waitForAnswer(QDialog &box)
    {
        struct InputGate : QObject {
            QWidget *box;
            explicit InputGate(QWidget *b)
                : box(b)
            {
            }
            bool eventFilter(QObject *o, QEvent *e) override
            {
                switch (e->type()) {
                case QEvent::MouseButtonPress:
                case QEvent::MouseButtonRelease:
                case QEvent::MouseButtonDblClick:
                case QEvent::Wheel:
                case QEvent::KeyPress:
                case QEvent::KeyRelease:
                case QEvent::ShortcutOverride:
                case QEvent::DragEnter:
                case QEvent::Drop: {
                    auto *w = qobject_cast<QWidget *>(o);
                    return w && w->window() != box && !qobject_cast<QMenu *>(w->window());
                }
                default:
                    return false;
                }
            }
        } gate(&box);
        box.setWindowModality(Qt::NonModal);
        QEventLoop loop;
        QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
        qApp->installEventFilter(&gate);
        box.show();
        box.raise();
        box.activateWindow();
        loop.exec();
        qApp->removeEventFilter(&gate);
    }

    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        QInputDialog box(g_parent);
        box.setWindowTitle(title);
        box.setLabelText(prompt);
        box.setTextValue(defaultText);
        waitForAnswer(box);
        if (box.result() != QDialog::Accepted)
            return std::nullopt;
        return box.textValue();
    }
};

Backend *g_backend = nullptr;

Backend &backend()
{
    static RealBackend real;
    return g_backend ? *g_backend : real;
}

} // namespace

Answer MsgBox(const QString &text, Style style, const QString &title) { return backend().msgBox(text, style, title); }

QString InputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return backend().inputBox(prompt, title, defaultText).value_or(QString());
}

void setBackend(Backend *b) { g_backend = b; }

void setParentWindow(QWidget *parent) { g_parent = parent; }

} // namespace dialogs
