#include "session/keyboard_access.h"

#include "playback/player_strip.h"
#include "session/app.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QGroupBox>

namespace {
// Enter and Return on the playlist take the double click's road; nothing else changes.
class EnterPlays : public QObject {
public:
    EnterPlays(ListBox *list) : QObject(list), list(list) {}

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

void nameControls(Form1 &f)
{
    f.List2->setAccessibleName(QStringLiteral("Λίστα - Playlist"));
    f.List1->setAccessibleName(f.Frame4->title());
    f.Text2->setAccessibleName(QStringLiteral("Κείμενο - Text"));
    f.HScroll1->setAccessibleName(f.Label4->text());
    f.Label4->setBuddy(f.HScroll1);
    // The tag and file fields carry their labels' captions.
    const int labelOf[7] = {0, 1, 2, 3, 4, 6, 7};
    for (int i = 0; i < 7; ++i) {
        f.Label1[labelOf[i]]->setBuddy(f.Text1[i]);
        f.Text1[i]->setAccessibleName(f.Label1[labelOf[i]]->text());
    }
    f.Label1[5]->setBuddy(f.Combo1);
    f.Combo1->setAccessibleName(f.Label1[5]->text());
    f.Combo2->setAccessibleName(QStringLiteral("Τύπος αρχείων - File type"));
    f.File1->setAccessibleName(QStringLiteral("Αρχεία - Files"));
    f.Dir1->setAccessibleName(QStringLiteral("Φάκελοι - Folders"));
    f.Drive1->setAccessibleName(QStringLiteral("Δίσκος - Drive"));
    f.MediaPlayer1->setAccessibleName(QStringLiteral("Αναπαραγωγή - Player"));
    f.MediaPlayer1->playButton()->setAccessibleName(QStringLiteral("Αναπαραγωγή - Play"));
    f.MediaPlayer1->pauseButton()->setAccessibleName(QStringLiteral("Παύση - Pause"));
    f.MediaPlayer1->stopButton()->setAccessibleName(QStringLiteral("Διακοπή - Stop"));
    f.MediaPlayer1->seekSlider()->setAccessibleName(QStringLiteral("Θέση - Position"));
}

void install(App &app)
{
    Form1 &f = app.form1();
    nameControls(f);
    f.List2->installEventFilter(new EnterPlays(f.List2));
}

} // namespace keyboard_access
