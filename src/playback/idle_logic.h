#pragma once
// Whether the 60 ms ticker may sleep: its ticks would change nothing a user sees until an
// event (a player's, a key, a click, a call from outside) wakes it again.

namespace idle {

struct TickState {
    int mainState = 0; // Player::State of each player
    int videoState = 0;
    bool opening = false; // an open or a start under way
    bool previewOn = false;
    bool sleepArmed = false; // the sleep timer counts down or waits for an end
    bool atEnd = false;      // the watched player stands at the end of an opened file
    bool endSignalled = false;
    int entries = 0;
    int entry = 0;    // the current entry
    int tipEntry = 0; // the entry the tray tip was made for
};

bool mayRest(const TickState &s);

} // namespace idle
