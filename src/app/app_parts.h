#pragma once
// The application object with the declarations of all its parts, for code that drives
// every part from outside (tests, benchmarks). The program's own files include only what
// they use.

#include "app/app.h"
#include "app/shell.h"
#include "info/info.h"
#include "playback/lengths.h"
#include "playback/playback.h"
#include "playback/sleep.h"
#include "playback/speed.h"
#include "playlist/playlist.h"
#include "session/places.h"
#include "session/session.h"
#include "tags/tags.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
