#include "ui/form1.h"

#include "base/fsname.h"
#include "playback/player_strip.h"
#include "ui/browser_boxes.h"
#include "ui/listbox.h"

#include "ui/app_icon.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QAction *menuItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &key = {},
                  bool checkable = false)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(key);
    a->setCheckable(checkable);
    return a;
}

// One choice of several, the first checked; the items are named "name_0", "name_1", ...
template <size_t N>
void choiceItems(QMenu *menu, const char *name, const char *const (&captions)[N], std::array<QAction *, N> &items,
                 QActionGroup::ExclusionPolicy policy = QActionGroup::ExclusionPolicy::Exclusive)
{
    auto *group = new QActionGroup(menu);
    group->setExclusionPolicy(policy);
    for (size_t i = 0; i < N; ++i) {
        QAction *a = menuItem(menu, name, QString::fromUtf8(captions[i]), {}, true);
        a->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
        a->setChecked(i == 0);
        group->addAction(a);
        items[i] = a;
    }
}

QGroupBox *frame(const char *name, const QString &caption, QWidget *parent)
{
    return named(new QGroupBox(caption, parent), name);
}

} // namespace

Form1::Form1(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    // The tray needs an icon to show; the window shares it.
    setWindowIcon(shell_icon::appIcon());
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(60);

    auto *central = new QWidget(this);
    auto *rows = new QVBoxLayout(central);
    auto *columns = new QHBoxLayout;
    columns->addWidget(buildBrowser(), 2);
    columns->addWidget(buildPlaylist(), 5);
    columns->addWidget(buildSideColumn(), 3);
    rows->addLayout(columns, 1);
    // The status line spans the window, so its longest reports show whole.
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(Text2, 1);
    searchRow->addWidget(Command6);
    rows->addLayout(searchRow);
    connect(Text2, &QLineEdit::textChanged, Text2, &QWidget::setToolTip);
    // On a screen shorter than the window (1024x600, 1280x720 at scale 2) the controls scroll
    // into sight instead of running off its bottom.
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(central);
    setCentralWidget(scroll);
    buildMenus();
    // Screen readers name a menu by its accessible name alone.
    menuBar()->setAccessibleName(QStringLiteral("Γραμμή μενού - Menu bar"));
    mnuinfo->setAccessibleName(QStringLiteral("Βοήθεια - Help"));
    for (QMenu *menu : findChildren<QMenu *>())
        if (menu->accessibleName().isEmpty())
            menu->setAccessibleName(menu->title());
    // Room for the window manager's title bar too.
    const QSize room = screen()->availableGeometry().size() - QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    resize(QSize(1260, 760).boundedTo(room));
    // Files dropped anywhere on the window reach the window's own drop handling; text
    // boxes would otherwise take a dropped path as text.
    for (QLineEdit *box : findChildren<QLineEdit *>())
        box->setAcceptDrops(false);
}

QWidget *Form1::buildBrowser()
{
    Frame1 = frame("Frame1", QString(), this);
    Frame1->setMaximumWidth(320);
    auto *col = new QVBoxLayout(Frame1);
    Drive1 = named(new DriveBox(Frame1), "Drive1");
    Drive1->setAccessibleName(QStringLiteral("Δίσκος - Drive"));
    Dir1 = named(new DirBox(Frame1), "Dir1");
    Dir1->setAccessibleName(QStringLiteral("Φάκελος - Folder"));
    File1 = named(new FileBox(Frame1), "File1");
    File1->setAccessibleName(QStringLiteral("Αρχεία - Files"));
    Combo2 = named(new QComboBox(Frame1), "Combo2");
    Combo2->setEditable(true);
    // Long patterns must not widen the column; the open list shows them whole.
    Combo2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo2->setMinimumContentsLength(12);
    Drive1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Drive1->setMinimumContentsLength(12);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo2->setEditText(QStringLiteral("Combo2"));
    Combo2->setAccessibleName(QStringLiteral("Τύπος αρχείων - File type"));
    // Typing alone changes nothing until a row is chosen, so no completion either; the
    // text field, which takes the focus, is announced by the same label.
    Combo2->setCompleter(nullptr);
    Combo2->lineEdit()->setAccessibleName(Combo2->accessibleName());
    // Design-time state: the process's current drive and folder, pattern "*.mp3".
    const QString cwd = QDir::currentPath();
    Drive1->setDrive(DriveBox::driveOf(cwd));
    Dir1->setPath(cwd);
    File1->setPattern(QStringLiteral("*.mp3"));
    File1->setPath(cwd);
    // Screen readers on Linux give a combo box's value as its name; a buddy label says what
    // the box is.
    auto *driveLabel = named(new QLabel(Drive1->accessibleName(), Frame1), "Drive1Label");
    driveLabel->setBuddy(Drive1);
    auto *typeLabel = named(new QLabel(Combo2->accessibleName(), Frame1), "Combo2Label");
    typeLabel->setBuddy(Combo2);
    col->addWidget(driveLabel);
    col->addWidget(Drive1);
    col->addWidget(Dir1, 3);
    col->addWidget(File1, 4);
    col->addWidget(typeLabel);
    col->addWidget(Combo2);
    return Frame1;
}

QWidget *Form1::buildPlaylist()
{
    Frame5 = frame("Frame5", QString(), this);
    auto *col = new QVBoxLayout(Frame5);
    List2 = named(new ListBox(ListBox::Selection::Extended, Frame5), "List2");
    List2->setAccessibleName(QStringLiteral("Λίστα αναπαραγωγής - Playlist"));
    MediaPlayer1 = named(new PlayerStrip(Frame5), "MediaPlayer1");
    Label3 = named(new QLabel(QStringLiteral("Τρέχων-Current : Όλα-Total : Υπολείπονται-Remaining"), Frame5), "Label3");
    Label3->setWordWrap(true); // narrow windows wrap the status texts instead of widening
    Label6 = named(new QLabel(QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play"), Frame5), "Label6");
    Label6->setWordWrap(true);
    Command3 = named(new QPushButton(QStringLiteral("Επόμενο - Next"), Frame5), "Command3");
    Label4 = named(new QLabel(QStringLiteral("Ένταση - Volume"), Frame5), "Label4");
    HScroll1 = named(new QScrollBar(Qt::Horizontal, Frame5), "HScroll1");
    HScroll1->setRange(-4000, 0);
    HScroll1->setSingleStep(25);
    HScroll1->setPageStep(400);
    HScroll1->setValue(0);
    HScroll1->setMinimumWidth(120);
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    // A scroll bar's keys run as a page's do, up and left towards the lower value; a volume
    // rises with Right, Up and Page Up.
    HScroll1->setInvertedControls(false);
    HScroll1->setAccessibleName(QStringLiteral("Ένταση - Volume"));
    Label4->setBuddy(HScroll1);

    auto *mode = new QHBoxLayout;
    mode->addWidget(Label6, 1);
    mode->addWidget(Command3);
    auto *volume = new QHBoxLayout;
    volume->addWidget(Label4);
    volume->addWidget(HScroll1, 1);
    col->addWidget(List2, 1);
    col->addWidget(MediaPlayer1);
    col->addWidget(Label3);
    col->addLayout(mode);
    col->addLayout(volume);
    return Frame5;
}

QWidget *Form1::buildSideColumn()
{
    auto *side = new QWidget(this);
    auto *col = new QVBoxLayout(side);
    col->setContentsMargins(0, 0, 0, 0);

    static const char *const labels[]
        = {"Τίτλος - Title",   "Καλλιτέχνης - Artist", "Άλμπουμς - Album",  "Έτος - Year",
           "Σχόλια - Comment", "Είδος - Genre",        "Διάρκεια - Length", "Διανύθηκε - Elapsed"};
    for (int i = 0; i < 8; ++i) {
        Label1[size_t(i)] = new QLabel(QString::fromUtf8(labels[i]), side);
        Label1[size_t(i)]->setObjectName(QStringLiteral("Label1_%1").arg(i));
    }
    for (int i = 0; i < 7; ++i) {
        Text1[size_t(i)] = new QLineEdit(side);
        Text1[size_t(i)]->setObjectName(QStringLiteral("Text1_%1").arg(i));
    }
    Text1[5]->setReadOnly(true);
    Text1[6]->setReadOnly(true);
    // The times read whole however narrow the column gets.
    const int timeWidth = Text1[5]->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16;
    Text1[0]->setMinimumWidth(timeWidth);
    Text1[5]->setMinimumWidth(timeWidth);
    // The preview's elapsed text shows whole too.
    Text1[6]->setMinimumWidth(Text1[6]->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00     [00] -00")) + 16);
    Combo1 = named(new QComboBox(side), "Combo1");

    Frame2 = frame("Frame2", QString(), side);
    auto *files = new QFormLayout(Frame2);
    files->addRow(Label1[0], Text1[0]);
    files->addRow(Label1[6], Text1[5]);
    files->addRow(Label1[7], Text1[6]);
    Label1[0]->setBuddy(Text1[0]);
    Label1[6]->setBuddy(Text1[5]);
    Label1[7]->setBuddy(Text1[6]);

    Frame3 = frame("Frame3", QString(), side);
    auto *tags = new QFormLayout(Frame3);
    for (int i = 1; i <= 4; ++i) {
        tags->addRow(Label1[size_t(i)], Text1[size_t(i)]);
        Label1[size_t(i)]->setBuddy(Text1[size_t(i)]);
    }
    tags->addRow(Label1[5], Combo1);
    Label1[5]->setBuddy(Combo1);
    // The fields are named by their labels' captions.
    const size_t labelOf[7] = {0, 1, 2, 3, 4, 6, 7};
    for (size_t i = 0; i < 7; ++i)
        Text1[i]->setAccessibleName(Label1[labelOf[i]]->text());
    Combo1->setAccessibleName(Label1[5]->text());

    Frame6 = frame("Frame6", QStringLiteral("Υποφακέλοι - Subdirectories"), side);
    auto *cmds = new QGridLayout(Frame6);
    Command4 = named(new QPushButton(QStringLiteral("Πρόσθεσε Αρχεία - Add Files"), Frame6), "Command4");
    Command5 = named(new QPushButton(QStringLiteral("Αφαίρεσε Αρχεία - Subtract files"), Frame6), "Command5");
    static const char *const options[] = {"Έναν - One", "Όλους - All", "Επιλεγμένους - Selected"};
    for (int i = 0; i < 3; ++i) {
        Option1[size_t(i)] = new QRadioButton(QString::fromUtf8(options[i]), Frame6);
        Option1[size_t(i)]->setObjectName(QStringLiteral("Option1_%1").arg(i));
    }
    Option1[0]->setChecked(true);
    Command1 = named(new QPushButton(QStringLiteral("Όλοι - All"), Frame6), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Ακύρωση Αναζήτησης - Cancel Search"), Frame6), "Command2");
    for (int i = 0; i < 3; ++i)
        cmds->addWidget(Option1[size_t(i)], i, 0);
    cmds->addWidget(Command4, 0, 1);
    cmds->addWidget(Command5, 1, 1);
    cmds->addWidget(Command1, 2, 1);
    cmds->addWidget(Command2, 3, 0, 1, 2);

    Frame4 = frame("Frame4", QStringLiteral("Υποφακέλοι - Subdirectories"), side);
    auto *subs = new QVBoxLayout(Frame4);
    List1 = named(new ListBox(ListBox::Selection::Checks, Frame4), "List1");
    List1->setAccessibleName(QStringLiteral("Υποφακέλοι - Subdirectories"));
    Text2 = named(new QLineEdit(QStringLiteral("Κείμενο - Text"), Frame4), "Text2");
    Text2->setAccessibleName(QStringLiteral("Αναζήτηση - Search"));
    Command6 = named(new QPushButton(QStringLiteral("Αναζήτηση - Εύρεση"), Frame4), "Command6");
    subs->addWidget(List1, 1);

    // File and tag fields side by side: the column stays short enough for a 600-pixel screen.
    auto *fields = new QHBoxLayout;
    fields->addWidget(Frame2, 1);
    fields->addWidget(Frame3, 1);
    col->addLayout(fields);
    col->addWidget(Frame6);
    col->addWidget(Frame4, 1);
    return side;
}

void Form1::buildMenus()
{
    mnumore = named(menuBar()->addMenu(QStringLiteral("Άλλα - More")), "mnumore");
    mnumorerandom = menuItem(mnumore, "mnumorerandom", QStringLiteral("Τυχαία Εκτέλεση - Suffle Play"),
                             QKeySequence(QStringLiteral("Ctrl+R")), true);
    mnumoresub = menuItem(mnumore, "mnumoresub", QStringLiteral("Υποφακέλλοι - Subdirectories"),
                          QKeySequence(QStringLiteral("Ctrl+U")), true);
    mnumorecompleted = menuItem(mnumore, "mnumorecompleted", QStringLiteral("Αναπαραγμένα - Reproduced"),
                                QKeySequence(QStringLiteral("Ctrl+C")), true);
    mnumorepreview = menuItem(mnumore, "mnumorepreview", QStringLiteral("Προεπισκόπιση - Preview"),
                              QKeySequence(QStringLiteral("Ctrl+P")), true);
    mnumoreduration = menuItem(mnumore, "mnumoreduration", QStringLiteral("Διάρκεια - Duration"),
                               QKeySequence(QStringLiteral("Ctrl+D")));
    mnumoreduration->setEnabled(false);
    mnumoretags = menuItem(mnumore, "mnumoretags", QStringLiteral("Αποθήκευση - Save Tags"),
                           QKeySequence(QStringLiteral("Ctrl+S")));
    mnumorereset = menuItem(mnumore, "mnumorereset", QStringLiteral("Επανεκκίνηση - Reset"),
                            QKeySequence(QStringLiteral("Ctrl+E")));
    mnumorewindows
        = menuItem(mnumore, "mnumorewindows", QStringLiteral("Εκκίνηση με Windows - Run at System Start"), {}, true);

    mnumorevinteo = named(mnumore->addMenu(QStringLiteral("Βίντεο - Video")), "mnumorevinteo");
    mnuvideoshow = menuItem(mnumorevinteo, "mnuvideoshow", QStringLiteral("Δείξε - Show"),
                            QKeySequence(QStringLiteral("Ctrl+V")), true);
    mnuvideohide = menuItem(mnumorevinteo, "mnuvideohide", QStringLiteral("Κρύψε - Hide"),
                            QKeySequence(QStringLiteral("Ctrl+H")), true);
    mnuvideoauto = menuItem(mnumorevinteo, "mnuvideoauto", QStringLiteral("Αυτόματο - Auto"),
                            QKeySequence(QStringLiteral("Ctrl+T")), true);
    mnumorevinteo->addSeparator();
    mnuvideoaudio = named(mnumorevinteo->addMenu(QStringLiteral("Ήχος - Audio")), "mnuvideoaudio");
    mnuvideosubs = named(mnumorevinteo->addMenu(QStringLiteral("Υπότιτλοι - Subtitles")), "mnuvideosubs");
    mnuvideofull = menuItem(mnumorevinteo, "mnuvideofull", QStringLiteral("Πλήρης οθόνη - Fullscreen"));

    mnumorereplay = named(mnumore->addMenu(QStringLiteral("Επανάληψη - Replay")), "mnumorereplay");
    static const char *const replay[] = {"Κανένα - None", "Ενός - One", "Όλων - All"};
    static const char *const replayKeys[] = {"Ctrl+N", "Ctrl+O", "Ctrl+A"};
    for (int i = 0; i < 3; ++i) {
        QAction *a = menuItem(mnumorereplay, "mnumorereplayn", QString::fromUtf8(replay[i]),
                              QKeySequence(QLatin1String(replayKeys[i])), true);
        a->setObjectName(QStringLiteral("mnumorereplayn_%1").arg(i));
        a->setChecked(true); // all three start checked; the restore unchecks two
        mnumorereplayn[size_t(i)] = a;
    }

    // Plain keys: text boxes take them first (Qt lets an editor override a shortcut), so
    // typing and deleting there never changes the speed.
    mnumorespeed = named(mnumore->addMenu(QStringLiteral("Ταχύτητα - Speed")), "mnumorespeed");
    auto *speeds = new QActionGroup(this);
    speeds->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    static const char *const speedNames[] = {"0.75x", "1x", "1.25x", "1.5x", "1.75x", "2x"};
    for (int i = 0; i < 6; ++i) {
        QAction *a = menuItem(mnumorespeed, "mnuspeedn", QLatin1String(speedNames[i]),
                              i == 1 ? QKeySequence(Qt::Key_Backspace) : QKeySequence(), true);
        a->setObjectName(QStringLiteral("mnuspeedn_%1").arg(i));
        a->setChecked(i == 1);
        speeds->addAction(a);
        mnuspeedn[size_t(i)] = a;
    }
    mnumorespeed->addSeparator();
    mnuspeedslower = menuItem(mnumorespeed, "mnuspeedslower", QStringLiteral("Πιο αργά - Slower"),
                              QKeySequence(Qt::Key_BracketLeft));
    mnuspeedfaster = menuItem(mnumorespeed, "mnuspeedfaster", QStringLiteral("Πιο γρήγορα - Faster"),
                              QKeySequence(Qt::Key_BracketRight));

    mnumoreloudness = named(mnumore->addMenu(QStringLiteral("Ένταση ήχου - Loudness")), "mnumoreloudness");
    static const char *const levelNames[] = {"Όχι - Off", "ReplayGain κομματιού - ReplayGain track",
                                             "ReplayGain άλμπουμ - ReplayGain album", "Ομοιόμορφη - Even"};
    choiceItems(mnumoreloudness, "mnuloudnessn", levelNames, mnuloudnessn);

    mnumoresleep = named(mnumore->addMenu(QStringLiteral("Ύπνος - Sleep")), "mnumoresleep");
    static const char *const sleepNames[] = {"Όχι - Off",
                                             "Στο τέλος του αρχείου - At the end of this file",
                                             "Σε 15 λεπτά - After 15 minutes",
                                             "Σε 30 λεπτά - After 30 minutes",
                                             "Σε 45 λεπτά - After 45 minutes",
                                             "Σε 60 λεπτά - After 60 minutes"};
    choiceItems(mnumoresleep, "mnusleepn", sleepNames, mnusleepn, QActionGroup::ExclusionPolicy::ExclusiveOptional);

    buildPlaybackMenus();

    mnuinfo = named(menuBar()->addMenu(QStringLiteral("?")), "mnuinfo");
    mnu_info2 = named(mnuinfo->addMenu(QStringLiteral("Πληροφορίες - Information")), "mnu_info2");
    mnuinfogr = menuItem(mnu_info2, "mnuinfogr", QStringLiteral("Ελληνικά"));
    mnuinfoEn = menuItem(mnu_info2, "mnuinfoEn", QStringLiteral("English"));
    mnu_instr = menuItem(mnuinfo, "mnu_instr", QStringLiteral("Προγραμματισμός - Programming"));

    mnusystemtray = named(new QMenu(QStringLiteral("System Tray"), this), "mnusystemtray");
    mnusystemtraynext = menuItem(mnusystemtray, "mnusystemtraynext", QStringLiteral("Επόμενο - Next"));
    mnusystemtraypause = menuItem(mnusystemtray, "mnusystemtraypause", QStringLiteral("Παύση - Pause"), {}, true);
    mnusystemtraysuffle = menuItem(mnusystemtray, "mnusystemtraysuffle", QStringLiteral("Τυχαία - Suffle"), {}, true);
    mnusystemtrayexit = menuItem(mnusystemtray, "mnusystemtrayexit", QStringLiteral("Έξοδος - Quit"));
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths.append(url.isLocalFile() ? fsname::fromLocalUrl(url) : url.toString());
    event->acceptProposedAction();
    // Handled after the drag source has been answered, so a long drop never stalls it.
    QMetaObject::invokeMethod(
        this, [this, paths] { emit filesDropped(paths); }, Qt::QueuedConnection);
}

void Form1::buildPlaybackMenus()
{
    mnuplayback = named(mnumore->addMenu(QStringLiteral("Αναπαραγωγή - Playback")), "mnuplayback");
    // Text boxes, buttons and check-box rows keep Space for themselves (see Transport).
    mnuplaypause = menuItem(mnuplayback, "mnuplaypause", QStringLiteral("Αναπαραγωγή/Παύση - Play/Pause"),
                            QKeySequence(Qt::Key_Space));
    mnuback10 = menuItem(mnuplayback, "mnuback10", QStringLiteral("Πίσω 10 δ. - Back 10 s"),
                         QKeySequence(QStringLiteral("Alt+Left")));
    mnufwd10 = menuItem(mnuplayback, "mnufwd10", QStringLiteral("Μπροστά 10 δ. - Forward 10 s"),
                        QKeySequence(QStringLiteral("Alt+Right")));
    mnuback60 = menuItem(mnuplayback, "mnuback60", QStringLiteral("Πίσω 60 δ. - Back 60 s"),
                         QKeySequence(QStringLiteral("Ctrl+Left")));
    mnufwd60 = menuItem(mnuplayback, "mnufwd60", QStringLiteral("Μπροστά 60 δ. - Forward 60 s"),
                        QKeySequence(QStringLiteral("Ctrl+Right")));
    mnuplayback->addSeparator();
    mnuchapterprev = menuItem(mnuplayback, "mnuchapterprev", QStringLiteral("Προηγούμενο κεφάλαιο - Previous chapter"),
                              QKeySequence(QStringLiteral("Ctrl+PgUp")));
    mnuchapternext = menuItem(mnuplayback, "mnuchapternext", QStringLiteral("Επόμενο κεφάλαιο - Next chapter"),
                              QKeySequence(QStringLiteral("Ctrl+PgDown")));
    // Filled with the playing file's chapters each time it opens.
    mnuchapters = named(mnumore->addMenu(QStringLiteral("Κεφάλαια - Chapters")), "mnuchapters");

    mnurewind = named(mnumore->addMenu(QStringLiteral("Επιστροφή στη συνέχιση - Rewind on resume")), "mnurewind");
    static const char *const rewindNames[]
        = {"Όχι - Off", "3 δευτερόλεπτα - 3 seconds", "10 δευτερόλεπτα - 10 seconds"};
    choiceItems(mnurewind, "mnurewindn", rewindNames, mnurewindn);
}
