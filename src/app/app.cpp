#include "app/app.h"

#include "app/keyboard_access.h"
#include "app/mpris.h"
#include "app/open_args.h"
#include "app/session.h"
#include "app/shell.h"
#include "info/info.h"
#include "playback/film.h"
#include "playback/lengths.h"
#include "playback/loudness.h"
#include "playback/playback.h"
#include "playback/player_strip.h"
#include "playback/sleep.h"
#include "playback/sleep_logic.h"
#include "playback/speed.h"
#include "playback/transport.h"
#include "playback/video_view.h"
#include "playlist/playlist.h"
#include "state/places.h"
#include "state/state_db.h"
#include "tags/tags.h"
#include "ui/binding.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/listbox.h"
#include "ui/window_roles.h"

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

App::App(const Options &options)
{
    // The main player is the strip under the playlist: sound only. Made first, its core
    // starts while the window is built.
    if (options.makeMainPlayer)
        m_mainPlayer = options.makeMainPlayer();
    else
        m_mainPlayer = std::make_unique<MpvPlayer>(with({{"vo", "null"}, {"vid", "no"}}, options.playerOptions));
    m_form1 = std::make_unique<Form1>();
    // The video player costs threads and memory only once a video is first shown.
    m_videoPlayer = std::make_unique<MpvPlayer>(with({{"vo", "libmpv"}, {"hwdec", "auto-safe"}}, options.playerOptions),
                                                nullptr, true);
    m_form1->MediaPlayer1->setPlayer(m_mainPlayer.get());
    dialogs::setParentWindow(m_form1.get());
    windowroles::install();
    makeParts();
    wireParts();
    ui::bind(*this);
}

void App::makeParts()
{
    Form1 &f = *m_form1;
    m_db = std::make_unique<StateDb>();
    m_places = std::make_unique<Places>(*m_db);
    m_tags = std::make_unique<Tags>(m, f, [this] { return m_mainPlayer->FileName(); });
    m_playback = std::make_unique<Playback>(
        m, f, *m_mainPlayer, *m_videoPlayer, *m_tags, *m_places, [this]() -> Form2 & { return form2(); },
        [this]() -> Form4 & { return form4(); });
    m_sleep = std::make_unique<SleepTimer>(m, f, *m_playback);
    m_playlist = std::make_unique<Playlist>(m, f, *m_playback, [this]() -> Form4 & { return form4(); });
    m_info = std::make_unique<Info>([this]() -> Form3 & { return form3(); });
    m_shell = std::make_unique<Shell>(m, f);
    m_session = std::make_unique<Session>(m, f, *m_db, *m_playback, *m_playlist, *m_places);
    m_speed = std::make_unique<Speed>(m, f, *m_db);
    m_loudness = std::make_unique<Loudness>(f, *m_db);
    m_lengths = std::make_unique<Lengths>(m, *f.List2, *m_db);
    m_film = std::make_unique<Film>(f, *m_videoPlayer, *m_db);
    m_transport = std::make_unique<Transport>(f, *m_playback, *m_db);
}

// What one part tells another that it must not know: each hook here is the only link.
void App::wireParts()
{
    Playback &pb = *m_playback;
    // The chapter playing follows the name in the tray tip and the status line.
    pb.showTrayTip = [this](const QString &field) { m_transport->setTrayTip(field); };
    m_transport->showTrayTip = [this](const QString &field) { m_shell->setTrayTip(field); };
    pb.statusSuffix
        = [this] { return m_speed->statusSuffix() + m_sleep->statusSuffix() + m_transport->statusSuffix(); };
    pb.resumedStart = [this](Player &p, double start) { return m_transport->resumeStart(p, start); };
    pb.statusShown = [this] { m_lengths->refresh(); };
    pb.playlistChanged = [this] { m_lengths->playlistChanged(); };
    pb.opening = [this](const QString &entry) { m_session->stateDb().noteOpening(entry); };
    m_sleep->fired = [this] { m_session->writeRecovery(); };
    pb.holdAtEnd = [this] { return m_sleep->atFileEnd(); };
    pb.holdsAtEnd = [this] { return m_sleep->choice() == sleeptimer::EndOfFile; };
    m_shell->watchedPlayer = [&pb]() -> Player & { return pb.watchedPlayer(); };
    m_shell->makeMediaControl = [this, &pb] {
        return new Mpris(m, *m_form1,
                         {[&pb]() -> Player & { return pb.watchedPlayer(); },
                          [&pb](int value) { pb.setHScroll1(value); },
                          [this](double factor) { m_speed->setSpeed(factor); }, [&pb] { pb.Command3_Click(); },
                          [&pb](int row) {
                              pb.setList2Index(row);
                              pb.List2_DblClick();
                          },
                          [&pb] { pb.mnumorerandom_Click(); }, [&pb](int mode) { pb.mnumorereplayn_Click(mode); },
                          [this](const QStringList &paths) { openFiles(paths); }, [this] { Form_QueryUnload(); }});
    };
    // What is done of a file left part-way counts towards the time left.
    m_lengths->placeOf = [this](const QString &path) { return m_places->placeOf(path); };
    m_lengths->watchedPlayer = [&pb]() -> Player & { return pb.watchedPlayer(); };
    m_lengths->window = [this] { return existingForm4(); };
    m_speed->toPlayers = [this](double s) {
        m_mainPlayer->setSpeed(s);
        m_videoPlayer->setSpeed(s);
    };
    m_speed->changed = [&pb] { pb.etiketes(); };
    m_loudness->toPlayers = [this](int choice) {
        m_mainPlayer->setLoudness(choice);
        m_videoPlayer->setLoudness(choice);
    };
}

App::~App()
{
    delete m_form2;
    delete m_form3;
    delete m_form4;
    // The main window goes before the players and the parts its controls' last signals reach.
    m_form1.reset();
}

Form2 &App::form2()
{
    if (!m_form2) {
        m_form2
            = new Form2([this](QWidget *window) { return VideoView::makePicture(m_videoPlayer->handle(), window); });
        ui::bindForm2(*this, *m_form2);
    }
    return *m_form2;
}

Form2 *App::existingForm2() const { return m_form2; }

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

Form4 *App::existingForm4() const { return m_form4; }

void App::Form_Load()
{
    Form1 &f = *m_form1;
    m.previewSecs = 10;
    m.volume = 0;
    m.previewOn = 0;
    m_tags->fillGenres();
    m.stateFolder = Session::workingStateFolder();
    m.folderChanged = kOn;
    m_playlist->fillFileTypes();
    {
        // A resumed file on a slow disk would keep the window out of sight for as long as
        // it opens: the window shows meanwhile, and the rest of its restore follows.
        std::vector<QMetaObject::Connection> early;
        for (Player *p : {&mainPlayer(), &videoPlayer()})
            early.push_back(QObject::connect(p, &Player::openIsSlow, &f, [&f] { f.show(); }));
        m_session->LoadState();
        for (const auto &c : early)
            QObject::disconnect(c);
    }
    m_speed->load();
    m_loudness->load();
    m_transport->load();

    if (m.subdirsOn == kOn) {
        f.mnumoresub->setChecked(true);
        f.List1->setEnabled(true);
        m_playlist->showOnScan = false;
        m_playlist->DesSubs();
        m_playlist->showOnScan = true;
        m_playlist->Command1_Click();
    } else {
        f.Command1->setEnabled(false);
        f.Command2->setEnabled(false);
        f.Command4->setEnabled(false);
        f.List1->setEnabled(false);
    }

    if (m.videoMode == -1)
        m_playback->mnuvideohide_Click();
    else if (m.videoMode == 1)
        m_playback->mnuvideoshow_Click();
    else
        m_playback->mnuvideoauto_Click();

    m_shell->AddTrayIcon();
    m_shell->startMediaControl();
    keyboard_access::install(*f.List2);
    f.mnumorewindows->setChecked(Shell::RunAtStartupIsSet(Shell::executableName()));
    // Drops are accepted on the main window and the playlist from here on.
    m_session->keepStartNotice();
    f.setAcceptDrops(true);
    f.Timer1->start();
    // The watch loop's first act: show the main window. Qt's event loop then serves drops
    // and every other event for the rest of the run.
    f.show();
    // A film resumed at start-up keeps its picture in sight over the main window.
    if (m_form2 && m_form2->isVisible())
        m_form2->raise();
}

void App::openFiles(const QStringList &paths)
{
    Form1 &f = *m_form1;
    f.showNormal();
    f.raise();
    f.activateWindow();
    const QStringList files = open_args::withFolderFiles(paths);
    if (files.isEmpty())
        return;
    m_playlist->WatchForFiles(files);
    for (const QString &file : files) {
        const int row = Playlist::ListBoxFindString(*f.List2, file.trimmed());
        if (row >= 0) {
            m_playback->setList2Index(row);
            m_playback->List2_DblClick();
            return;
        }
    }
}

void App::shutdownSteps()
{
    // Closing in the middle of an Add keeps what it had gathered so far.
    m_playlist->applyPendingEdits();
    m_session->SaveState();
    m_shell->RemoveTrayIcon();
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
