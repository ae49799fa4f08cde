#pragma once
// Even loudness: the More menu's choice between the files' ReplayGain tags, a normaliser and
// nothing, handed to both players and kept for the next run in the state database.

#include <functional>

class Form1;
class StateDb;

class Loudness {
public:
    Loudness(Form1 &form, StateDb &db);

    // Hands a choice (loudness::Choice) to the players.
    std::function<void(int)> toPlayers;

    // Menu choices by index; an index out of range is ignored.
    void mnuloudnessn_Click(int index);
    // The choice the last run left for this session folder, if any.
    void load();
    int choice() const { return m_choice; }

private:
    void apply(int index);
    Form1 &form;
    StateDb &db;
    int m_choice = 0;
};
