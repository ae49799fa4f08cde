#pragma once
// Playback: choosing and starting the next file, the 60 ms ticker, the played marks with
// the completed window, the status line, the video window, volume and preview. One class
// owns these procedures; the decisions inside them are pure functions in the *_logic files.

#include "playback/track_logic.h"

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <vector>

class Form1;
class Form2;
class Form4;
class ListBox;
class Places;
class Player;
class Tags;
struct Module1;
namespace idle {
struct TickState;
}

class Playback {
public:
    // The windows made on first use are reached through form2 and form4.
    Playback(Module1 &m, Form1 &f, Player &mainPlayer, Player &videoPlayer, Tags &tags, Places &places,
             std::function<Form2 &()> form2, std::function<Form4 &()> form4);

    // Track start and next-track choice (track.cpp)
    void bres_kommati();
    void decide_video();
    void List2_Click();
    void List2_DblClick();
    void Command3_Click();
    void mnumorerandom_Click();
    void mnumorereplayn_Click(int index);
    // Makes row List2's current entry and runs its click handling.
    void setList2Index(int row);

    // Ticker (ticker.cpp)
    void Timer1_Timer();
    // What the next tick depends on (idle.cpp); sleepArmed is the sleep timer's.
    idle::TickState tickState(bool sleepArmed);

    // Joins without a gap (join.cpp): near the end of an audio file the main player is given
    // the file its end will start, found on copies of the choice's state; empty when the end
    // would do anything but start a file from its beginning on the main player.
    QString joinCandidate();
    void prepareJoin();

    // Played marks and completed list (marks.cpp)
    void put_form4();
    void paigmena();
    QString FindSong(int16_t song);
    int FindSongPick();
    void mnumorecompleted_Click();
    void mnumorereset_Click();
    void Form4_Command1_Click();
    void Form4_List1_DblClick();
    // Every playlist rebuild gives one cleared mark per entry (at least one).
    void resetMarksToPlaylist();
    // Row of the completed list that belongs to playlist entry index, or -1.
    int completedRowFor(int index);
    // The completed window's list, its rows built first if the playlist changed since.
    ListBox &completedList();

    // Status line and captions (status_line.cpp)
    void etiketes();

    // Video window (video.cpp)
    void video();
    void mnuvideoshow_Click();
    void mnuvideohide_Click();
    void mnuvideoauto_Click();
    void Form2_QueryUnload();
    // The strip's buttons and slider act on the player that has the file.
    void followWatchedPlayer();

    // Volume and preview (settings.cpp)
    void HScroll1_Change();
    // The thumb being dragged: the same steps with the thumb's position.
    void HScroll1_Scroll();
    void mnumorepreview_Click();
    void mnumoreduration_Click();
    // Setting HScroll1's value from code runs its change handling.
    void setHScroll1(int value);

    // Places of unfinished files (place_keeping.cpp)
    // The file the watched player has is left, or its place refreshed: kept or forgotten.
    void notePlace();
    // Where the file just opened on p starts; ruleStart is the second the start had chosen.
    double startFor(Player &p, double ruleStart);
    // The user's Reset: the marks, and with them every place.
    void resetMarksAndPlaces();
    // Places of files no longer in the playlist are forgotten.
    void keepListedPlaces();

    // The time of day in seconds since midnight; tests set their own clock.
    std::function<double()> timeOfDay;

    // What playback tells the rest; the application object wires these.
    // The tray icon's 64-character tip field.
    std::function<void(const QString &field)> showTrayTip = [](const QString &) {};
    // What the speed and the sleep timer add to the play mode in the status line.
    std::function<QString()> statusSuffix = [] { return QString(); };
    // The status line was refreshed, or the playlist's entries changed (the time left follows).
    std::function<void()> statusShown = [] {};
    std::function<void()> playlistChanged = [] {};
    // An entry is about to be opened: a crash in the open must be pinned on it.
    std::function<void(const QString &entry)> opening = [](const QString &) {};
    // Asked at a file's end before the next one starts: true keeps the list where it is.
    std::function<bool()> holdAtEnd = [] { return false; };
    // Whether holdAtEnd would hold, asked without acting.
    std::function<bool()> holdsAtEnd = [] { return false; };
    // Where the session's own resume begins, given where it would (the rewind on resume).
    std::function<double(Player &, double start)> resumedStart = [](Player &, double start) { return start; };

    // The player that has the file now: the video window's while the main one is out of use.
    Player &watchedPlayer();

    // A file is being opened: the window lives on meanwhile, but no end is signalled.
    bool startInProgress() const { return startsRunning > 0; }

private:
    // The steps of bres_kommati: which entry (false: none to resume), showing it as
    // current, and what the end of the list does (true: nothing more to start).
    bool chooseEntry();
    void showChosenEntry();
    bool listFinished();
    void markPlayed(int index);
    void playOnMainPlayer();
    void setTrayTipForChoice();
    // Text2's word on a file that did not open, once its probe returns.
    void showOpenFailed(const QString &file);

    Module1 &m;
    Form1 &f;
    Player &mainPlayer;
    Player &videoPlayer;
    Tags &tags;
    Places &places;
    std::function<Form2 &()> form2;
    std::function<Form4 &()> form4;
    // Kept by the ticker between ticks.
    int32_t previewClock = 0;
    int16_t tipIndex = 0;
    // The tip as last shown, and when (timeOfDay).
    QString tipShown;
    double tipAt = -1;
    // The player and open count whose end the ticker has already signalled.
    const Player *endSignalledPlayer = nullptr;
    quint64 endSignalledOpen = 0;
    quint64 endSignalledMainOpen = 0;
    track::Random rng;
    // Starts under way (an open waits in a nested event loop) and starts begun so far; a
    // start that sees a newer one has begun leaves the player to it.
    int startsRunning = 0;
    quint64 startGeneration = 0;
    // A file that could not be opened is tried again no more than once a second.
    QString failedFile;
    qint64 failedAtMs = -1;
    // Row of the completed list for each playlist index, as put_form4 left it.
    std::vector<int> completedRowOf;
    // The completed rows wait until they are seen: a big playlist would pay their sort
    // keys at every start although the window is mostly hidden.
    bool completedStale = false;
    // The start under way is the session's own resume (record 4's second).
    bool resumingSession = false;
};
