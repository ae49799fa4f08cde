// The 60 ms ticker: elapsed time, the tray tip, and the end of the playing file.

#include "playback/playback.h"

#include "base/numtext.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QLineEdit>
#include <chrono>
#include <cmath>
#include <malloc.h>

Player &Playback::watchedPlayer()
{
    // The player that has the file: the video window's while the main one is out of use.
    return mainPlayer.inUse() ? mainPlayer : videoPlayer;
}

void Playback::Timer1_Timer()
{
    Player &main = mainPlayer;

    // Elapsed time and the preview's end follow the player that has the file.
    Player &w = watchedPlayer();
    const double pos = w.CurrentPosition();
    const status::Elapsed e = status::elapsedTexts(pos, w.Duration(), m.previewOn, m.previewSecs, m.previewStart);
    if (e.display && f.Text1[6]->text() != *e.display)
        f.Text1[6]->setText(*e.display);
    const numtext::Hms split = numtext::splitSeconds(numtext::roundHalfEven(pos));
    m.mins = int16_t(split.m);
    m.secs = int16_t(split.s);

    if (f.List2->count() == 0)
        return;

    // A new entry shows at once; while a file plays its time left counts down, once a second.
    // The text is made only when it may be shown, not on every tick.
    const double at = timeOfDay();
    const bool newEntry = m.lastIndex != tipIndex;
    if (newEntry || (w.PlayState() == Player::Playing && std::abs(at - tipAt) >= 1)) {
        const QString tip
            = status::tipField(e.remaining + QStringLiteral(" - ") + FindSong(m.lastIndex) + QChar(u'\0'));
        if (newEntry || tip != tipShown) {
            tipIndex = m.lastIndex;
            tipShown = tip;
            tipAt = at;
            showTrayTip(tip);
        }
    }

    // While a file opens the players have nothing to report yet: no end is signalled.
    if (startInProgress() || main.opening() || w.opening())
        return;
    bool ended = w.openCount() > 0 && w.Duration() == w.CurrentPosition();
    if (m.previewOn == kOn) {
        const int stop = int(m.previewStart) + int(m.previewSecs);
        ended = ended || pos >= stop || timeOfDay() >= previewClock + m.previewSecs;
    }
    // One end per opened file: a file left standing at its end (nothing new started, as
    // after the last file with replay None) is not signalled again on every tick.
    const bool alreadySignalled
        = endSignalledPlayer == &w && endSignalledOpen == w.openCount() && endSignalledMainOpen == main.openCount();
    if (!ended || alreadySignalled) {
        prepareJoin();
        return;
    }
    // A file that cannot be opened ends at once; started again (replay One) it would be
    // reopened on every tick.
    if (w.openFailed()) {
        const qint64 now
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
        if (w.FileName() == failedFile && failedAtMs >= 0 && now - failedAtMs < 1000)
            return;
        failedFile = w.FileName();
        failedAtMs = now;
    }
    endSignalledPlayer = &w;
    endSignalledOpen = w.openCount();
    endSignalledMainOpen = main.openCount();
    if (holdAtEnd()) {
        prepareJoin(); // a file prepared meanwhile must not play on
        return;
    }

    m.advanceCount = numtext::toInt16(m.advanceCount + 1);
    previewClock = int32_t(numtext::roundHalfEven(timeOfDay()));
    m.volume = int16_t(w.Volume());
    // What the ended file's decoding freed goes back to the system: a long run of files
    // would otherwise keep its resident memory at every peak it reached.
    malloc_trim(0);
    bres_kommati();
    prepareJoin();
}
