#pragma once
// The main window: the file browser, the playlist with its player strip, the tag fields,
// the subdirectory commands and every menu. It holds controls only; behaviour is bound to
// them in binding.cpp.

#include <QMainWindow>
#include <array>

class DirBox;
class DriveBox;
class FileBox;
class ListBox;
class PlayerStrip;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("Μπραστομέρ -  Brastomere");

    explicit Form1(QWidget *parent = nullptr);

    // Subdirectory commands
    QGroupBox *Frame6;
    QPushButton *Command4;
    QPushButton *Command5;
    std::array<QRadioButton *, 3> Option1;
    QPushButton *Command1;
    QPushButton *Command2;
    // Playlist area
    QGroupBox *Frame5;
    ListBox *List2;
    PlayerStrip *MediaPlayer1;
    QLabel *Label3;
    // Subdirectory list and search
    QGroupBox *Frame4;
    ListBox *List1;
    QLineEdit *Text2;
    QPushButton *Command6;
    QScrollBar *HScroll1;
    QLabel *Label4;
    QPushButton *Command3;
    // Tag and file fields
    QGroupBox *Frame3;
    QGroupBox *Frame2;
    std::array<QLineEdit *, 7> Text1;
    std::array<QLabel *, 8> Label1;
    QComboBox *Combo1;
    QComboBox *Combo2;
    QTimer *Timer1;
    // Folder choice
    QGroupBox *Frame1;
    FileBox *File1;
    DirBox *Dir1;
    DriveBox *Drive1;
    QLabel *Label6;

    // Menus
    QMenu *mnumore;
    QAction *mnumorerandom;
    QAction *mnumoresub;
    QAction *mnumorecompleted;
    QAction *mnumorepreview;
    QAction *mnumoreduration;
    QAction *mnumoretags;
    QAction *mnumorereset;
    QAction *mnumorewindows;
    QMenu *mnumorevinteo;
    QAction *mnuvideoshow;
    QAction *mnuvideohide;
    QAction *mnuvideoauto;
    // The film's tracks and fullscreen; the chapters follow them.
    QMenu *mnuvideoaudio;
    QMenu *mnuvideosubs;
    QAction *mnuvideofull;
    QMenu *mnumorereplay;
    std::array<QAction *, 3> mnumorereplayn;
    QMenu *mnumorespeed;
    std::array<QAction *, 6> mnuspeedn; // 0.75x 1x 1.25x 1.5x 1.75x 2x
    QAction *mnuspeedslower;
    QAction *mnuspeedfaster;
    QMenu *mnumoreloudness;
    std::array<QAction *, 4> mnuloudnessn; // off, ReplayGain track, ReplayGain album, even
    QMenu *mnumoresleep;
    std::array<QAction *, 6> mnusleepn; // off, end of file, 15 30 45 60 minutes
    // Playing: pause key, skips, chapters, rewind on resume
    QMenu *mnuplayback;
    QAction *mnuplaypause;
    QAction *mnuback10;
    QAction *mnufwd10;
    QAction *mnuback60;
    QAction *mnufwd60;
    QAction *mnuchapterprev;
    QAction *mnuchapternext;
    QMenu *mnuchapters;
    QMenu *mnurewind;
    std::array<QAction *, 3> mnurewindn; // off, 3 s, 10 s
    QMenu *mnuinfo;
    QMenu *mnu_info2;
    QAction *mnuinfogr;
    QAction *mnuinfoEn;
    QAction *mnu_instr;
    // Opened only as a pop-up from the tray icon; not in the menu bar.
    QMenu *mnusystemtray;
    QAction *mnusystemtraynext;
    QAction *mnusystemtraypause;
    QAction *mnusystemtraysuffle;
    QAction *mnusystemtrayexit;

signals:
    // Every way of closing the window ends here; the window itself never closes.
    void closeRequested();
    // Files dropped on the window or the playlist, in the order the source lists them.
    void filesDropped(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void buildPlaybackMenus();
    QWidget *buildBrowser();
    QWidget *buildPlaylist();
    QWidget *buildSideColumn();
};
