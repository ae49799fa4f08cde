#pragma once
// Pure parts of the MPRIS2 media control: the session bus address, volume and status mapping.

#include <QByteArray>
#include <QString>

namespace mpris {

// The bus address to set before Qt starts when none is given: the standard socket of the
// user's runtime folder, whether it exists or not. libdbus would otherwise "autolaunch" a
// bus daemon that outlives the program. Empty when an address is given already.
QByteArray addressWithoutAutolaunch(const QByteArray &given, const QByteArray &runtimeDir, uint uid);
// True when a connection to the address can succeed without starting anything: a unix
// socket path that exists, or another transport. An empty address is never reachable.
bool reachable(const QByteArray &address);

// HScroll1 (-4000..0) and MPRIS's Volume (0..1) map linearly onto each other.
double volumeFromScroll(int scroll);
int scrollFromVolume(double volume);

// "Playing", "Paused" or "Stopped" from a player's PlayState.
QString playbackStatus(int playState);

// LoopStatus None/Track/Playlist is replay mode 0/1/2; -1 for any other name.
QString loopStatus(int replayMode);
int replayMode(const QString &loopStatus);

// The speed on its 0.05 steps, as the user's keys and menus set it.
double rateOnSteps(double speed);

// Where Previous goes in serial play: the entry above; -1 at the top.
int previousRow(int currentRow);

} // namespace mpris
