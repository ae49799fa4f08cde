#pragma once
// Decisions of the video window that need no window: where the volume goes and how big
// the window may be.

#include <QSize>
#include <cstdint>

namespace videologic {

// Whether the scroll bar's volume reaches the video window's player: in mode Show, and in
// any mode while that player has the file (the main player is out of use).
bool volumeReachesVideo(int16_t videoMode, bool mainInUse);

// The client size for a picture of the given size: the picture itself when it fits in
// `available`, else scaled down with its aspect kept until it does. Invalid or empty
// pictures give an invalid size (keep the window as it is).
QSize fitWindow(QSize picture, QSize available);

} // namespace videologic
