#pragma once
// The application object: owns the shared state, the players, the windows and the
// subsystems, hands each subsystem the few parts it uses and wires what they tell each
// other. Runs the start-up and the shutdown.

#include "playback/mpv_player.h"
#include "state/module1.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class Film;
class Form1;
class Form2;
class Form3;
class Form4;
class Info;
class Lengths;
class Places;
class StateDb;
class Playback;
class Playlist;
class Session;
class Shell;
class SleepTimer;
class Speed;
class Loudness;
class Transport;
class Tags;

class App : public QObject {
    Q_OBJECT
public:
    struct Options {
        // mpv options for both players on top of their own (tests: vo=null, ao=null).
        MpvPlayer::Options playerOptions;
        // Tests that must control time exactly put a scripted main player in.
        std::function<std::unique_ptr<Player>()> makeMainPlayer;
    };

    explicit App(const Options &options = {});
    ~App() override;

    Module1 m;

    Form1 &form1() { return *m_form1; }
    // Created on first use; Form2 and Form3 again after the user closed them.
    Form2 &form2();
    Form2 *existingForm2() const;
    Form3 &form3();
    Form4 &form4();
    Form4 *existingForm4() const;

    Player &mainPlayer() { return *m_mainPlayer; }
    Player &videoPlayer() { return *m_videoPlayer; }

    Session &session() { return *m_session; }
    Playlist &playlist() { return *m_playlist; }
    Playback &playback() { return *m_playback; }
    Tags &tags() { return *m_tags; }
    Shell &shell() { return *m_shell; }
    Info &info() { return *m_info; }
    // Where each unfinished file was left (placeOf: seconds, 0 when none).
    Places &places() { return *m_places; }
    Speed &speed() { return *m_speed; }
    Loudness &loudness() { return *m_loudness; }
    Transport &transport() { return *m_transport; }
    SleepTimer &sleep() { return *m_sleep; }
    Lengths &lengths() { return *m_lengths; }
    Film &film() { return *m_film; }

    // The start-up sequence; returns with the main window shown and the event loop to run.
    void Form_Load();
    // Files and folders given at a start or by another program: added as a drop is, the
    // first of them started; the main window comes to the front.
    void openFiles(const QStringList &paths);
    // Every closing road ends here: save, remove the tray icon, end the process at once.
    [[noreturn]] void Form_QueryUnload();
    // The part of the shutdown that comes before the end of the process.
    void shutdownSteps();

private:
    void makeParts();
    void wireParts();

    // Declared before the windows and players, so torn down after them; the database last.
    std::unique_ptr<StateDb> m_db;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Playlist> m_playlist;
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<Tags> m_tags;
    std::unique_ptr<Shell> m_shell;
    std::unique_ptr<Info> m_info;
    std::unique_ptr<Places> m_places;
    std::unique_ptr<Speed> m_speed;
    std::unique_ptr<Loudness> m_loudness;
    std::unique_ptr<Transport> m_transport;
    std::unique_ptr<SleepTimer> m_sleep;
    std::unique_ptr<Lengths> m_lengths;
    std::unique_ptr<Film> m_film;

    std::unique_ptr<Form1> m_form1;
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    QPointer<Form4> m_form4;
    std::unique_ptr<Player> m_mainPlayer;
    std::unique_ptr<MpvPlayer> m_videoPlayer;
    bool m_shuttingDown = false;
};
