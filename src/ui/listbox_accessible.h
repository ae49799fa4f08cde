#pragma once
// Screen readers see a check-box list as a list of checkable rows whose "toggle" action
// checks or clears the row as Space does. Qt's own item-view interface maps "toggle" to the
// selection, which a check-box list does not use.

class QAccessibleInterface;
class QObject;
class QString;

namespace listboxaccess {
// An accessibility factory: the interface for a check-box ListBox, nullptr for anything else.
QAccessibleInterface *factory(const QString &className, QObject *object);
} // namespace listboxaccess
