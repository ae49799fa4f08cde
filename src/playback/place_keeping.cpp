// Keeping the place of every unfinished file: noted when a file is left and every few
// seconds while it plays, used when it starts again.

#include "playback/playback.h"

#include "playback/places_logic.h"
#include "playback/player.h"
#include "state/module1.h"
#include "state/places.h"
#include "ui/form1.h"
#include "ui/listbox.h"

void Playback::notePlace()
{
    Player &p = watchedPlayer();
    if (p.openCount() == 0 || p.opening() || p.openFailed() || startInProgress())
        return;
    const QString file = p.FileName();
    if (file.isEmpty())
        return;
    const double at = p.CurrentPosition();
    switch (places::onLeave(at, p.Duration(), m.previewOn == kOn)) {
    case places::Leave::Keep:
        places.keep(file, at);
        break;
    case places::Leave::Forget:
        places.forget(file);
        break;
    case places::Leave::Nothing:
        break;
    }
}

double Playback::startFor(Player &p, double ruleStart)
{
    const bool session = resumingSession;
    resumingSession = false;
    if (p.openFailed())
        return ruleStart;
    const double start
        = places::startAt(ruleStart, places.placeOf(p.FileName()), p.Duration(), m.previewOn == kOn, session);
    return session ? resumedStart(p, start) : start;
}

void Playback::resetMarksAndPlaces()
{
    mnumorereset_Click();
    places.forgetAll();
}

void Playback::keepListedPlaces()
{
    if (places.count() == 0)
        return;
    const ListBox &list = *f.List2;
    places.keepOnly([&list](const QString &path) {
        const int row = list.findExact(path);
        return row >= 0 && list.text(row) == path;
    });
}
