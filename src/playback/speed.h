#pragma once
// Listening speed: the speed menu and its keys, both players, the status line, and the
// speed kept for the next run in the state database.

#include <QString>
#include <functional>

class Form1;
class StateDb;
struct Module1;

class Speed {
public:
    Speed(Module1 &m, Form1 &form, StateDb &db);

    // Hands a new speed to the players.
    std::function<void(double)> toPlayers;
    // The speed changed: the status line shows it.
    std::function<void()> changed;

    // Menu presets by index, a step slower or faster, and normal speed.
    void mnuspeedn_Click(int index);
    void mnuspeedslower_Click();
    void mnuspeedfaster_Click();
    // Any speed: clamped onto a step, given to both players, shown, kept.
    void setSpeed(double factor);
    // The speed the last run left for this session folder, if any.
    void load();
    // Beside the play mode: " 1.5x", or nothing at normal speed.
    QString statusSuffix() const;

private:
    void store();
    Module1 &m;
    Form1 &form;
    StateDb &db;
};
