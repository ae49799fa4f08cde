#include "ui/binding.h"

#include "app/app.h"
#include "app/mpris.h"
#include "app/session.h"
#include "app/shell.h"
#include "info/info.h"
#include "playback/film.h"
#include "playback/idle_logic.h"
#include "playback/lengths.h"
#include "playback/loudness.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playback/player_strip.h"
#include "playback/sleep.h"
#include "playback/sleep_logic.h"
#include "playback/speed.h"
#include "playback/transport.h"
#include "playback/wake.h"
#include "playlist/playlist.h"
#include "tags/tags.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

namespace ui {
namespace {

// Handlers own the check marks of their items: undo the toggle Qt made on its own before
// the handler runs, so that the handler's inversion is the only one.
template <typename F> void onMenu(QAction *item, F handler)
{
    QObject::connect(item, &QAction::triggered, item, [item, handler] {
        if (item->isCheckable())
            item->setChecked(!item->isChecked());
        handler();
    });
}

} // namespace

void bind(App &app)
{
    Form1 &f = app.form1();
    Playback &pb = app.playback();
    Playlist &pl = app.playlist();

    QObject::connect(&f, &Form1::closeRequested, &f, [&app] { app.Form_QueryUnload(); });
    QObject::connect(f.Timer1, &QTimer::timeout, &f, [&pb] { pb.Timer1_Timer(); });
    // A file's end is acted on at once, not at the next tick: the wait would be silence
    // before the next file. A stopped ticker stays stopped.
    for (Player *p : {&app.mainPlayer(), &app.videoPlayer()})
        QObject::connect(
            p, &Player::ended, &f,
            [&pb, &f] {
                if (f.Timer1->isActive())
                    pb.Timer1_Timer();
            },
            Qt::QueuedConnection);

    // File browser
    QObject::connect(f.Combo2, &QComboBox::activated, &f, [&pl] { pl.Combo2_Click(); });
    QObject::connect(f.Drive1, &DriveBox::userChanged, &f, [&pl] { pl.Drive1_Change(); });
    QObject::connect(f.Dir1, &DirBox::userChanged, &f, [&pl] { pl.Dir1_change(); });

    // Playlist and playback
    QObject::connect(f.List2, &ListBox::userClicked, &f, [&pb] { pb.List2_Click(); });
    QObject::connect(f.List2, &ListBox::userDoubleClicked, &f, [&pb] { pb.List2_DblClick(); });
    QObject::connect(f.Command3, &QPushButton::clicked, &f, [&pb] { pb.Command3_Click(); });
    QObject::connect(f.HScroll1, &QScrollBar::valueChanged, &f, [&pb] { pb.HScroll1_Change(); });
    QObject::connect(f.HScroll1, &QScrollBar::sliderMoved, &f, [&pb] { pb.HScroll1_Scroll(); });

    // Subdirectories, add and subtract, search, drops
    QObject::connect(f.Command1, &QPushButton::clicked, &f, [&pl] { pl.Command1_Click(); });
    QObject::connect(f.Command2, &QPushButton::clicked, &f, [&pl] { pl.Command2_Click(); });
    QObject::connect(f.Command4, &QPushButton::clicked, &f, [&pl] { pl.Command4_Click(); });
    QObject::connect(f.Command5, &QPushButton::clicked, &f, [&pl] { pl.Command5_Click(); });
    QObject::connect(f.Command6, &QPushButton::clicked, &f, [&pl] { pl.Command6_Click(); });
    QObject::connect(f.Text2, &QLineEdit::returnPressed, &f, [&pl] { pl.Command6_Click(); });
    QObject::connect(&f, &Form1::filesDropped, &f, [&pl](const QStringList &paths) { pl.WatchForFiles(paths); });
    onMenu(f.mnumoresub, [&pl] { pl.mnumoresub_Click(); });

    onMenu(f.mnumorerandom, [&pb] { pb.mnumorerandom_Click(); });
    onMenu(f.mnumorecompleted, [&pb] { pb.mnumorecompleted_Click(); });
    onMenu(f.mnumorepreview, [&pb] { pb.mnumorepreview_Click(); });
    onMenu(f.mnumoreduration, [&pb] { pb.mnumoreduration_Click(); });
    onMenu(f.mnumorereset, [&pb] { pb.resetMarksAndPlaces(); });
    onMenu(f.mnuvideoshow, [&pb] { pb.mnuvideoshow_Click(); });
    onMenu(f.mnuvideohide, [&pb] { pb.mnuvideohide_Click(); });
    onMenu(f.mnuvideoauto, [&pb] { pb.mnuvideoauto_Click(); });
    for (int i = 0; i < 3; ++i)
        onMenu(f.mnumorereplayn[size_t(i)], [&pb, i] { pb.mnumorereplayn_Click(i); });
    for (int i = 0; i < 6; ++i) {
        QObject::connect(f.mnuspeedn[size_t(i)], &QAction::triggered, &f,
                         [&app, i] { app.speed().mnuspeedn_Click(i); });
        QObject::connect(f.mnusleepn[size_t(i)], &QAction::triggered, &f,
                         [&app, i] { app.sleep().mnusleepn_Click(i); });
    }
    for (int i = 0; i < int(f.mnuloudnessn.size()); ++i)
        QObject::connect(f.mnuloudnessn[size_t(i)], &QAction::triggered, &f,
                         [&app, i] { app.loudness().mnuloudnessn_Click(i); });
    QObject::connect(f.mnuspeedslower, &QAction::triggered, &f, [&app] { app.speed().mnuspeedslower_Click(); });
    QObject::connect(f.mnuspeedfaster, &QAction::triggered, &f, [&app] { app.speed().mnuspeedfaster_Click(); });
    QObject::connect(f.Timer1, &QTimer::timeout, &f, [&app] { app.sleep().tick(); });
    // Connected after the ticker's handlers: it sleeps once a tick has found nothing to do.
    auto *wake = new Wake(
        *f.Timer1, [&pb, &app] { return idle::mayRest(pb.tickState(app.sleep().choice() > sleeptimer::EndOfFile)); },
        &f);
    wake->watch(app.mainPlayer());
    wake->watch(app.videoPlayer());
    QObject::connect(f.List2->model(), &QAbstractItemModel::modelReset, wake, &Wake::wake);
    QObject::connect(f.List2->model(), &QAbstractItemModel::rowsInserted, wake, &Wake::wake);
    QObject::connect(f.List2->model(), &QAbstractItemModel::rowsRemoved, wake, &Wake::wake);
    // What media control announces and what recovery keeps change only while the ticker runs.
    QObject::connect(wake, &Wake::running, &f, [&app](bool on) {
        if (Mpris *mc = app.shell().mediaControl())
            mc->setPolling(on);
        app.session().recoverWhile(on);
    });
    Transport &tr = app.transport();
    QObject::connect(f.mnuplaypause, &QAction::triggered, &f, [&tr] { tr.playPause(); });
    const std::pair<QAction *, double> skips[]
        = {{f.mnuback10, -10}, {f.mnufwd10, 10}, {f.mnuback60, -60}, {f.mnufwd60, 60}};
    for (const auto &skip : skips)
        QObject::connect(skip.first, &QAction::triggered, &f, [&tr, secs = skip.second] { tr.skip(secs); });
    QObject::connect(f.MediaPlayer1, &PlayerStrip::skipRequested, &f, [&tr](double secs) { tr.skip(secs); });
    QObject::connect(f.mnuchapterprev, &QAction::triggered, &f, [&tr] { tr.stepChapter(-1); });
    QObject::connect(f.mnuchapternext, &QAction::triggered, &f, [&tr] { tr.stepChapter(1); });
    QObject::connect(f.mnuchapters, &QMenu::aboutToShow, &f, [&tr, &f] { tr.fillChapters(*f.mnuchapters); });
    for (int i = 0; i < 3; ++i)
        QObject::connect(f.mnurewindn[size_t(i)], &QAction::triggered, &f, [&tr, i] { tr.mnurewindn_Click(i); });
    onMenu(f.mnumoretags, [&app] { app.tags().mnumoretags_Click(); });
    onMenu(f.mnumorewindows, [&app] { app.shell().mnumorewindows_Click(); });
    onMenu(f.mnuinfoEn, [&app] { app.info().mnuinfoEn_Click(); });
    onMenu(f.mnuinfogr, [&app] { app.info().mnuinfogr_Click(); });
    onMenu(f.mnu_instr, [&app] { app.info().mnu_instr_Click(); });

    // Tray menu
    onMenu(f.mnusystemtraynext, [&pb] { pb.Command3_Click(); });
    onMenu(f.mnusystemtraypause, [&app] { app.shell().mnusystemtraypause_Click(); });
    onMenu(f.mnusystemtraysuffle, [&pb] { pb.mnumorerandom_Click(); });
    onMenu(f.mnusystemtrayexit, [&app] { app.Form_QueryUnload(); });
}

void bindForm2(App &app, Form2 &form)
{
    QObject::connect(&form, &Form2::closing, &form, [&app] { app.playback().Form2_QueryUnload(); });
    // The main window's keys work while the film's window has the focus too.
    Form1 &f = app.form1();
    for (QAction *a : f.findChildren<QAction *>())
        if (!a->shortcut().isEmpty())
            form.addAction(a);
    form.setWindowTitle(f.windowTitle());
    QObject::connect(&f, &QWidget::windowTitleChanged, &form, &QWidget::setWindowTitle);
    app.film().attach(form);
}

void bindForm3(App &app, Form3 &form)
{
    Info &in = app.info();
    QObject::connect(form.Command1, &QPushButton::clicked, &form, &QWidget::close);
    QObject::connect(form.Label1, &ClickLabel::clicked, &form, [&in] { in.Form3_Label1_Click(); });
    QObject::connect(form.Timer1, &QTimer::timeout, &form, [&in, &form] { in.Form3_Timer1_Timer(form); });
    in.Form3_Load(form);
    form.Timer1->start();
}

void bindForm4(App &app, Form4 &form)
{
    Playback &pb = app.playback();
    QObject::connect(form.Command1, &QPushButton::clicked, &form, [&pb] { pb.Form4_Command1_Click(); });
    QObject::connect(&form, &Form4::closeRequested, &form, [&pb] { pb.Form4_Command1_Click(); });
    QObject::connect(form.List1, &ListBox::userDoubleClicked, &form, [&pb] { pb.Form4_List1_DblClick(); });
    QObject::connect(&form, &Form4::aboutToShow, &form, [&pb, &app] {
        pb.completedList();
        app.lengths().resume();
    });
}

} // namespace ui
