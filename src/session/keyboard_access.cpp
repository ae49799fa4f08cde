#include "session/keyboard_access.h"

#include "playback/player_strip.h"
#include "session/app.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

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

// The window names most of its controls itself; what it leaves unnamed gets a name here.
static void name(QWidget *w, const QString &text)
{
    if (w->accessibleName().isEmpty())
        w->setAccessibleName(text);
}

void nameControls(Form1 &f)
{
    name(f.List2, QStringLiteral("Λίστα - Playlist"));
    name(f.List1, f.Frame4->title());
    name(f.Text2, QStringLiteral("Κείμενο - Text"));
    name(f.HScroll1, f.Label4->text());
    f.Label4->setBuddy(f.HScroll1);
    // The tag and file fields carry their labels' captions.
    const int labelOf[7] = {0, 1, 2, 3, 4, 6, 7};
    for (int i = 0; i < 7; ++i) {
        f.Label1[labelOf[i]]->setBuddy(f.Text1[i]);
        name(f.Text1[i], f.Label1[labelOf[i]]->text());
    }
    f.Label1[5]->setBuddy(f.Combo1);
    name(f.Combo1, f.Label1[5]->text());
    name(f.Combo2, QStringLiteral("Τύπος αρχείων - File type"));
    name(f.File1, QStringLiteral("Αρχεία - Files"));
    name(f.Dir1, QStringLiteral("Φάκελοι - Folders"));
    name(f.Drive1, QStringLiteral("Δίσκος - Drive"));
    name(f.MediaPlayer1, QStringLiteral("Αναπαραγωγή - Player"));
    name(f.MediaPlayer1->playButton(), QStringLiteral("Αναπαραγωγή - Play"));
    name(f.MediaPlayer1->pauseButton(), QStringLiteral("Παύση - Pause"));
    name(f.MediaPlayer1->stopButton(), QStringLiteral("Διακοπή - Stop"));
    name(f.MediaPlayer1->seekSlider(), QStringLiteral("Θέση - Position"));
}

void install(App &app)
{
    Form1 &f = app.form1();
    nameControls(f);
    f.List2->installEventFilter(new EnterPlays(f.List2));
}

} // namespace keyboard_access
