#include "session/app.h"

#include "playback/player_strip.h"
#include "session/keyboard_access.h"
#include "session/shutdown_signals.h"
#include "ui/binding.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <unistd.h>

namespace {
MpvPlayer::Options with(MpvPlayer::Options base, const MpvPlayer::Options &extra)
{
    base.append(extra);
    return base;
}
} // namespace

App::App(Options options)
    : m_form1(std::make_unique<Form1>())
    , session(m, *m_form1, playback, playlist, places)
    , playlist(*this)
    , playback(*this)
    , tags(*this)
    , shell(*this)
    , info(*this)
    , places(session.stateDb())
    , speed(m, *m_form1, session.stateDb())
    , sleep(*this)
    , lengths(m, *m_form1->List2, session.stateDb())
{
    // The main player is the strip under the playlist: sound only.
    if (options.makeMainPlayer)
        m_mainPlayer = options.makeMainPlayer();
    else
        m_mainPlayer = std::make_unique<MpvPlayer>(with({{"vo", "null"}, {"vid", "no"}}, options.playerOptions));
    // The video player costs threads and memory only once a video is first shown.
    m_videoPlayer = std::make_unique<MpvPlayer>(with({{"vo", "libmpv"}}, options.playerOptions), nullptr, true);
    m_form1->MediaPlayer1->setPlayer(m_mainPlayer.get());
    dialogs::setParentWindow(m_form1.get());
    // What is done of a file left part-way counts towards the time left.
    lengths.placeOf = [this](const QString &path) { return places.placeOf(path); };
    lengths.watchedPlayer = [this]() -> Player & { return playback.watchedPlayer(); };
    lengths.window = [this] { return existingForm4(); };
    speed.toPlayers = [this](double s) {
        mainPlayer().setSpeed(s);
        videoPlayer().setSpeed(s);
    };
    speed.changed = [this] { playback.etiketes(); };
    ui::bind(*this);
}

App::~App()
{
    delete m_form2;
    delete m_form3;
    delete m_form4;
    // The main window goes before the subsystems its controls' last signals reach.
    m_form1.reset();
}

Form2 &App::form2()
{
    if (!m_form2) {
        m_form2 = new Form2(m_videoPlayer->handle());
        ui::bindForm2(*this, *m_form2);
    }
    return *m_form2;
}

Form3 &App::form3()
{
    if (!m_form3) {
        m_form3 = new Form3();
        ui::bindForm3(*this, *m_form3);
    }
    return *m_form3;
}

Form4 &App::form4()
{
    if (!m_form4) {
        m_form4 = new Form4();
        ui::bindForm4(*this, *m_form4);
    }
    return *m_form4;
}

void App::Form_Load()
{
    Form1 &f = *m_form1;
    m.previewSecs = 10;
    m.volume = 0;
    m.previewOn = 0;
    tags.fillGenres();
    m.stateFolder = Session::workingStateFolder();
    m.folderChanged = kOn;
    playlist.fillFileTypes();
    session.LoadState();
    speed.load();

    if (m.subdirsOn == kOn) {
        f.mnumoresub->setChecked(true);
        f.List1->setEnabled(true);
        playlist.DesSubs();
        playlist.Command1_Click();
    } else {
        f.Command1->setEnabled(false);
        f.Command2->setEnabled(false);
        f.Command4->setEnabled(false);
        f.List1->setEnabled(false);
    }

    if (m.videoMode == -1)
        playback.mnuvideohide_Click();
    else if (m.videoMode == 1)
        playback.mnuvideoshow_Click();
    else
        playback.mnuvideoauto_Click();

    shell.AddTrayIcon();
    shell.startMediaControl();
    keyboard_access::install(*this);
    f.hide();
    f.mnumorewindows->setChecked(Shell::RunAtStartupIsSet(Shell::executableName()));
    // Drops are accepted on the main window and the playlist from here on.
    session.keepStartNotice();
    f.setAcceptDrops(true);
    f.Timer1->start();
    // The watch loop's first act: show the main window. Qt's event loop then serves drops
    // and every other event for the rest of the run.
    f.show();
    // A film resumed at start-up keeps its picture in sight over the main window.
    if (m_form2 && m_form2->isVisible())
        m_form2->raise();
}

void App::shutdownSteps()
{
    // Closing in the middle of an Add keeps what it had gathered so far.
    playlist.applyPendingEdits();
    session.SaveState();
    shell.RemoveTrayIcon();
}

void App::Form_QueryUnload()
{
    if (!m_shuttingDown) {
        m_shuttingDown = true;
        shutdownSteps();
    }
    // At once: no other handler runs, no window is torn down one by one.
    ::_exit(0);
}
