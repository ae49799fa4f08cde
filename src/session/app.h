#pragma once
// The application object: owns the shared state, the players, the windows and the
// subsystems, runs the start-up and the shutdown.

#include "info/info.h"
#include "playback/lengths.h"
#include "playback/mpv_player.h"
#include "playback/playback.h"
#include "playback/sleep.h"
#include "playback/speed.h"
#include "playlist/playlist.h"
#include "session/module1.h"
#include "session/places.h"
#include "session/session.h"
#include "session/shell.h"
#include "tags/tags.h"

#include <QObject>
#include <QPointer>

#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include <functional>
#include <memory>

class Form1;

class App : public QObject {
    Q_OBJECT
public:
    struct Options {
        // mpv options for both players on top of their own (tests: vo=null, ao=null).
        MpvPlayer::Options playerOptions;
        // Tests that must control time exactly put a scripted main player in.
        std::function<std::unique_ptr<Player>()> makeMainPlayer;
    };

    explicit App(Options options = {});
    ~App() override;

    Module1 m;

private:
    // Made before the subsystems that are handed its controls.
    std::unique_ptr<Form1> m_form1;

public:
    Form1 &form1() { return *m_form1; }
    // Created on first use; Form2 and Form3 again after the user closed them.
    Form2 &form2();
    Form2 *existingForm2() const { return m_form2; }
    Form3 &form3();
    Form4 &form4();
    Form4 *existingForm4() const { return m_form4; }

    Player &mainPlayer() { return *m_mainPlayer; }
    Player &videoPlayer() { return *m_videoPlayer; }

    Session session;
    Playlist playlist;
    Playback playback;
    Tags tags;
    Shell shell;
    Info info;
    // Where each unfinished file was left (placeOf: seconds, 0 when none).
    Places places;
    Speed speed;
    SleepTimer sleep;
    Lengths lengths;

    void setTrayTip(const QString &field) { shell.setTrayTip(field); }

    // The start-up sequence; returns with the main window shown and the event loop to run.
    void Form_Load();
    // Every closing road ends here: save, remove the tray icon, end the process at once.
    [[noreturn]] void Form_QueryUnload();
    // The part of the shutdown that comes before the end of the process.
    void shutdownSteps();

private:
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    QPointer<Form4> m_form4;
    std::unique_ptr<Player> m_mainPlayer;
    std::unique_ptr<MpvPlayer> m_videoPlayer;
    bool m_shuttingDown = false;
};
