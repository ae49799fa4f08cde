#include "ui/window_roles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {
QAccessibleInterface *asWindow(const QString &className, QObject *object)
{
    static const QStringList windows{QStringLiteral("Form2"), QStringLiteral("Form3"), QStringLiteral("Form4")};
    if (object && object->isWidgetType() && windows.contains(className))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}
} // namespace

void windowroles::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(asWindow);
        return true;
    }();
    Q_UNUSED(installed);
}
