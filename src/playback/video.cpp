// The video window and the Show / Hide / Auto modes.

#include "playback/playback.h"

#include "base/numtext.h"
#include "playback/player.h"
#include "playback/player_strip.h"
#include "playback/video_logic.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/form2.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QScreen>

using numtext::roundHalfEven;

namespace {
// The window takes its picture's size, made smaller where the screen is smaller, and is
// moved back onto the screen when that size would reach past its edge.
void fitToScreen(Form2 &w, QSize picture)
{
    QScreen *screen = w.screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect();
    // Title bar and borders, once the window manager has framed the window.
    const QSize frame = w.frameGeometry().size() - w.size();
    const QSize size = videologic::fitWindow(picture, avail.size() - frame);
    if (!size.isValid())
        return;
    w.resize(size);
    if (avail.isEmpty())
        return;
    const QSize outer = size + frame;
    QPoint at = w.frameGeometry().topLeft();
    at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height())));
    if (at != w.frameGeometry().topLeft())
        w.move(at);
}
} // namespace

void Playback::video()
{
    if (m.currentFile.isEmpty())
        return;
    Player &main = mainPlayer;
    Player &vid = videoPlayer;
    main.setInUse(false);
    followWatchedPlayer();
    Form2 &w = form2();
    w.show();
    // Let the window get its GL context before the file opens, so the picture has a target.
    QCoreApplication::processEvents();

    // The file goes on where the main player stands when the main player has that very
    // file; a file it never had starts where the choice put it.
    const bool moving = main.FileName() == m.currentFile && main.openCount() > 0;
    const double mainPos = main.CurrentPosition();
    vid.setFileName(m.currentFile);
    // Whole seconds, but past the 16-bit second too: a long film moves where it stands.
    double at = double(roundHalfEven(mainPos));
    if (moving)
        m.resumePos = numtext::toInt16(roundHalfEven(mainPos));
    else
        at = startFor(vid, m.resumePos);
    if (m.previewOn == kOn) {
        const long long d = roundHalfEven(vid.Duration());
        if (d > 32767)
            return;
        m.resumePos = numtext::toInt16(roundHalfEven(d / 4.0));
        m.previewStart = m.resumePos;
        at = m.resumePos;
    }
    vid.setCurrentPosition(at);
    main.Stop();
    if (main.flag1089())
        vid.setFlag1089(true);
    vid.Play();
    vid.setVolume(m.volume);
    w.setWindowTitle(f.windowTitle());
    const numtext::Hms t = numtext::splitSeconds(roundHalfEven(vid.Duration()));
    m.mins = int16_t(t.m);
    m.secs = int16_t(t.s);
    f.Text1[5]->setText(numtext::hmsText(roundHalfEven(vid.Duration())));
    fitToScreen(w, vid.extent());
}

void Playback::followWatchedPlayer() { f.MediaPlayer1->setPlayer(&watchedPlayer()); }

static void checkOnly(Form1 &f, QAction *item)
{
    for (QAction *a : {f.mnuvideoshow, f.mnuvideohide, f.mnuvideoauto})
        a->setChecked(a == item);
}

void Playback::mnuvideoshow_Click()
{
    checkOnly(f, f.mnuvideoshow);
    m.videoMode = 1;
    video();
}

void Playback::mnuvideohide_Click()
{
    checkOnly(f, f.mnuvideohide);
    m.videoMode = -1;
}

void Playback::mnuvideoauto_Click()
{
    checkOnly(f, f.mnuvideoauto);
    m.videoMode = 0;
    if (m.resumePending == 0)
        decide_video();
}

void Playback::Form2_QueryUnload()
{
    Player &main = mainPlayer;
    Player &vid = videoPlayer;
    const double pos = vid.CurrentPosition();
    vid.Stop();
    main.setFileName(m.currentFile);
    main.setCurrentPosition(pos);
    main.setInUse(true);
    followWatchedPlayer();
    main.Play();
    main.setVolume(m.volume);
    checkOnly(f, f.mnuvideohide);
    m.videoMode = -1;
}
