#include "app/keyboard_access.h"

#include "ui/listbox.h"

#include <QKeyEvent>

namespace {
// Enter and Return on the playlist take the double click's road; nothing else changes.
class EnterPlays : public QObject {
public:
    EnterPlays(ListBox *list)
        : QObject(list)
        , list(list)
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(e)->key();
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !list->currentIndex().isValid())
            return false;
        emit list->userDoubleClicked();
        return true;
    }

private:
    ListBox *list;
};
} // namespace

namespace keyboard_access {

void install(ListBox &playlist) { playlist.installEventFilter(new EnterPlays(&playlist)); }

} // namespace keyboard_access
