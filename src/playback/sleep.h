#pragma once
// The sleep timer: after a chosen time, or near the end of the playing file, the sound fades
// out, the player pauses and the user's volume comes back for the next play.

#include <QString>
#include <functional>

class Form1;
class Playback;
struct Module1;

class SleepTimer {
public:
    SleepTimer(Module1 &m, Form1 &f, Playback &playback);

    // Menu choices by index: off, end of this file, 15, 30, 45, 60 minutes.
    void mnusleepn_Click(int index);
    // Every tick of Timer1: fade, fire, keep the minutes shown up to date.
    void tick();
    int choice() const { return m_choice; }
    // The playing file has come to its real end (sooner than its length said, as some files
    // do): set to the end of the file, the timer goes off there; true when it did.
    bool atFileEnd();
    // Beside the play mode: "   Ύπνος - Sleep 12'", or nothing when off.
    QString statusSuffix() const;

    // Seconds of a steady clock; tests set their own.
    std::function<double()> clock;
    // The timer went off and paused the player.
    std::function<void()> fired = [] {};

    // At the end of a file the timer stops this far (of the clock) before it, so that the
    // list does not move on to the next file first.
    static constexpr double kEndMargin = 0.5;

private:
    void fire();
    void restoreVolume();
    void choose(int index);
    void showText(double now);
    Module1 &m;
    Form1 &f;
    Playback &playback;
    int m_choice = 0;
    double m_deadline = 0;
    bool m_fading = false;
    QString m_text;
};
