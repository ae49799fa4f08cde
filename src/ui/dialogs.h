#pragma once
// Message and input boxes. Everything that asks or tells the user goes through here, so
// that tests can install a recorder that answers instead of a person.

#include <QString>
#include <optional>

class QWidget;

namespace dialogs {

inline const QString kAppTitle = QStringLiteral("Brastomere");

enum class Style { OkExclamation, OkCritical, OkInformation, YesNo, OkPlain };
enum class Answer { Ok, Yes, No };

class Backend {
public:
    virtual ~Backend() = default;
    virtual Answer msgBox(const QString &text, Style style, const QString &title) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText)
        = 0;
};

Answer MsgBox(const QString &text, Style style, const QString &title = kAppTitle);
// The answer; an empty text when the user cancels.
QString InputBox(const QString &prompt, const QString &title, const QString &defaultText);

// Tests replace the real boxes; nullptr puts them back.
void setBackend(Backend *backend);
// Parent for the real boxes.
void setParentWindow(QWidget *parent);

} // namespace dialogs
