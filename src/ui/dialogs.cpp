#include "ui/dialogs.h"

#include <QInputDialog>
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
        case Style::OkExclamation: box.setIcon(QMessageBox::Warning); break;
        case Style::OkCritical: box.setIcon(QMessageBox::Critical); break;
        case Style::OkInformation: box.setIcon(QMessageBox::Information); break;
        case Style::YesNo:
        case Style::OkPlain: box.setIcon(QMessageBox::NoIcon); break;
        }
        if (style == Style::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return Answer::Ok;
    }

    std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                    const QString &defaultText) override
    {
        bool ok = false;
        const QString text =
            QInputDialog::getText(g_parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
        if (!ok)
            return std::nullopt;
        return text;
    }
};

Backend *g_backend = nullptr;

Backend &backend()
{
    static RealBackend real;
    return g_backend ? *g_backend : real;
}

} // namespace

Answer MsgBox(const QString &text, Style style, const QString &title)
{
    return backend().msgBox(text, style, title);
}

QString InputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return backend().inputBox(prompt, title, defaultText).value_or(QString());
}

void setBackend(Backend *b)
{
    g_backend = b;
}

void setParentWindow(QWidget *parent)
{
    g_parent = parent;
}

} // namespace dialogs
