// Choosing the next entry and starting it.

#include "playback/playback.h"

#include "base/fsprobe.h"
#include "base/numtext.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "state/module1.h"
#include "tags/tags.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTime>

#include <cmath>

using numtext::roundHalfEven;

namespace {
// Half the resolution of a kept place (whole seconds): a file playing this near its start
// is already there.
constexpr double kAlreadyThereSeconds = 0.5;
} // namespace

Playback::Playback(Module1 &m, Form1 &f, Player &mainPlayer, Player &videoPlayer, Tags &tags, Places &places,
                   std::function<Form2 &()> form2, std::function<Form4 &()> form4)
    : timeOfDay([] {
        const QTime t = QTime::currentTime();
        return t.msecsSinceStartOfDay() / 1000.0;
    })
    , m(m)
    , f(f)
    , mainPlayer(mainPlayer)
    , videoPlayer(videoPlayer)
    , tags(tags)
    , places(places)
    , form2(std::move(form2))
    , form4(std::move(form4))
{
}

void Playback::setList2Index(int row)
{
    f.List2->setListIndex(row);
    List2_Click();
}

void Playback::bres_kommati()
{
    resumingSession = false;
    if (!chooseEntry())
        return;
    showChosenEntry();
    if (m.lastIndex == -1 && listFinished())
        return;
    decide_video();
    etiketes();
    setTrayTipForChoice();
}

void Playback::markPlayed(int index)
{
    if (index >= 0 && size_t(index) < m.playedMarks.size())
        m.playedMarks[size_t(index)] = kOn;
}

bool Playback::chooseEntry()
{
    ListBox &list = *f.List2;
    const bool keep = m.replayMode == 1 || m.userPick == kOn;
    if (keep && list.listIndex() >= 0) {
        m.lastIndex = int16_t(list.listIndex());
        markPlayed(m.lastIndex);
    } else if (!keep && m.resumePending != 0) {
        m.resumePending = 0;
        if (list.count() == 0)
            return false;
        resumingSession = true;
        list.setSelected(m.lastIndex, true);
        markPlayed(m.lastIndex);
    } else {
        // A new choice; also what a kept entry falls back to when nothing is current.
        m.resumePos = 0;
        const int next = track::chooseNext(m.playedMarks, list.count(), list.listIndex(), m.shuffleOn == kOn,
                                           [this] { return rng.next(); });
        if (next < 0) {
            mnumorereset_Click();
            m.lastIndex = -1;
        } else {
            m.lastIndex = int16_t(next);
            markPlayed(next);
            m.advanceCount = 1;
        }
    }
    return true;
}

void Playback::showChosenEntry()
{
    if (m.advanceCount <= 0)
        return;
    ListBox &list = *f.List2;
    if (m.lastIndex >= 0 && m.lastIndex < list.count()) {
        setList2Index(m.lastIndex);
        paigmena();
        list.setSelected(m.lastIndex, true);
    } else {
        m.lastIndex = -1;
    }
    m.advanceCount = 0;
}

bool Playback::listFinished()
{
    if (m.replayMode == 0) {
        // A preview ends its file like any other end: nothing follows the last one.
        if (m.previewOn == kOn)
            watchedPlayer().Stop();
        dialogs::MsgBox(QStringLiteral("Αναπαράχθηκαν Όλα Τα αρχεία\r\nEvery file has been reproduced"),
                        dialogs::Style::OkInformation);
        return true;
    }
    if (m.replayMode == 2) {
        m.advanceCount = 1;
        setList2Index(-1);
        Command3_Click();
        return true;
    }
    return false;
}

void Playback::setTrayTipForChoice()
{
    const QString name = m.lastIndex >= 0 ? FindSong(m.lastIndex) : QString();
    showTrayTip(status::tipField(name + QChar(u'\0')));
}

void Playback::decide_video()
{
    // Whatever plays now is left: its place is noted before anything else opens.
    notePlace();
    f.List2->setPlayingEntry(m.currentFile);
    opening(m.currentFile);
    ++startsRunning;
    const auto done = qScopeGuard([this] { --startsRunning; });
    auto toVideoWindow = [&] {
        // A picked entry starts from its beginning, not where the previous file stood.
        if (m.userPick == kOn) {
            m.resumePos = 0;
            m.userPick = 0;
        }
        video();
    };
    switch (m.videoMode) {
    case -1:
        playOnMainPlayer();
        break;
    case 1:
        toVideoWindow();
        break;
    case 0:
        if (track::isVideoFile(m.currentFile))
            toVideoWindow();
        else
            playOnMainPlayer();
        break;
    default:
        break;
    }
    resumingSession = false;
    paigmena();
}

void Playback::playOnMainPlayer()
{
    Player &p = mainPlayer;
    if (m.userPick == kOn) {
        m.resumePos = 0;
        m.userPick = 0;
    }
    p.setInUse(true);
    // The video window's file, left playing there after Hide, ends: one file plays at a time.
    if (videoPlayer.PlayState() != Player::Stopped) {
        videoPlayer.Stop();
        form2().hide();
    }
    followWatchedPlayer();
    const quint64 me = ++startGeneration;
    // The file already playing here (the start-up resume, then the Auto mode's decision)
    // starts over by a seek: opening it again would read it and set up its sound anew.
    const bool playingIt = p.openCount() > 0 && p.FileName() == m.currentFile && !p.openFailed() && !p.opening()
        && p.PlayState() == Player::Playing;
    if (!playingIt)
        p.setFileName(m.currentFile);
    if (me != startGeneration)
        return; // another start came while this file opened and has the player now
    if (p.openFailed() && !m.currentFile.isEmpty())
        showOpenFailed(m.currentFile);
    if (m.previewOn == kOn) {
        long long d = roundHalfEven(p.Duration());
        if (d > 32767)
            d = 0; // does not fit the 16-bit start: such a preview starts at 0
        m.resumePos = numtext::toInt16(roundHalfEven(d / 4.0));
        m.previewStart = m.resumePos;
    }
    const double start = startFor(p, m.resumePos);
    // The start-up resume, then the Auto mode's decision at once after it, start the same
    // file at the same second: a seek there would only set its sound up anew, a stutter
    // that delays the first sound by some 50 ms.
    const bool alreadyThere = playingIt && std::abs(p.CurrentPosition() - start) < kAlreadyThereSeconds;
    if (!alreadyThere)
        p.setCurrentPosition(start);
    p.Play();
    p.setVolume(m.volume);
    const numtext::Hms t = numtext::splitSeconds(roundHalfEven(p.Duration()));
    m.mins = int16_t(t.m);
    m.secs = int16_t(t.s);
    f.Text1[5]->setText(numtext::hmsText(roundHalfEven(p.Duration())));
    prepareJoin(); // a short file may end before the next tick
}

void Playback::List2_Click()
{
    const int last = mainPlayer.PlayState() == Player::Playing ? 4 : 6;
    for (int i = 0; i <= last; ++i)
        f.Text1[size_t(i)]->clear();
    f.Combo1->setCurrentIndex(-1);
    m.currentFile = f.List2->currentText();
    tags.readTag();
}

void Playback::List2_DblClick()
{
    if (f.List2->count() == 0)
        return;
    m.userPick = kOn;
    bres_kommati();
}

void Playback::Command3_Click()
{
    if (f.List2->count() > 0)
        bres_kommati();
}

void Playback::mnumorerandom_Click()
{
    m.shuffleOn = int16_t(~m.shuffleOn);
    f.List2->setEnabled(!f.List2->isEnabled());
    f.mnumorerandom->setChecked(!f.mnumorerandom->isChecked());
    f.mnusystemtraysuffle->setChecked(!f.mnusystemtraysuffle->isChecked());
    if (m.shuffleOn == kOn && f.mnumorecompleted->isChecked())
        form4().show();
    else if (m.shuffleOn == 0)
        form4().hide();
    paigmena();
    etiketes();
}

void Playback::mnumorereplayn_Click(int index)
{
    if (index < 0 || index > 2)
        return;
    m.replayMode = int16_t(index);
    for (int i = 0; i < 3; ++i)
        f.mnumorereplayn[size_t(i)]->setChecked(i == index);
}
