// Choosing the next entry and starting it.

#include "playback/playback.h"

#include "base/fsprobe.h"
#include "base/numtext.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "session/app.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTime>

using numtext::roundHalfEven;

Playback::Playback(App &app)
    : timeOfDay([] {
        const QTime t = QTime::currentTime();
        return t.msecsSinceStartOfDay() / 1000.0;
    })
    , app(app)
{
}

void Playback::setList2Index(int row)
{
    app.form1().List2->setListIndex(row);
    List2_Click();
}

void Playback::bres_kommati()
{
    Module1 &m = app.m;
    ListBox &list = *app.form1().List2;
    const int n = list.count();
    auto mark = [&](int i) {
        if (i >= 0 && size_t(i) < m.playedMarks.size())
            m.playedMarks[size_t(i)] = kOn;
    };

    resumingSession = false;
    const bool keep = m.replayMode == 1 || m.userPick == kOn;
    if (keep && list.listIndex() >= 0) {
        m.lastIndex = int16_t(list.listIndex());
        mark(m.lastIndex);
    } else if (!keep && m.resumePending != 0) {
        m.resumePending = 0;
        if (n == 0)
            return;
        resumingSession = true;
        list.setSelected(m.lastIndex, true);
        mark(m.lastIndex);
    } else {
        // A new choice; also what a kept entry falls back to when nothing is current.
        m.resumePos = 0;
        const int next
            = track::chooseNext(m.playedMarks, n, list.listIndex(), m.shuffleOn == kOn, [this] { return rng.next(); });
        if (next < 0) {
            mnumorereset_Click();
            m.lastIndex = -1;
        } else {
            m.lastIndex = int16_t(next);
            mark(next);
            m.advanceCount = 1;
        }
    }

    if (m.advanceCount > 0) {
        if (m.lastIndex >= 0 && m.lastIndex < n) {
            setList2Index(m.lastIndex);
            paigmena();
            list.setSelected(m.lastIndex, true);
        } else {
            m.lastIndex = -1;
        }
        m.advanceCount = 0;
    }

    if (m.lastIndex == -1) {
        if (m.replayMode == 0) {
            // A preview ends its file like any other end: nothing follows the last one.
            if (m.previewOn == kOn)
                watchedPlayer().Stop();
            dialogs::MsgBox(QStringLiteral("Αναπαράχθηκαν Όλα Τα αρχεία\r\nEvery file has been reproduced"),
                            dialogs::Style::OkInformation);
            return;
        }
        if (m.replayMode == 2) {
            m.advanceCount = 1;
            setList2Index(-1);
            Command3_Click();
            return;
        }
    }

    decide_video();
    etiketes();
    setTrayTipForChoice();
}

void Playback::setTrayTipForChoice()
{
    const QString name = app.m.lastIndex >= 0 ? FindSong(app.m.lastIndex) : QString();
    app.setTrayTip(status::tipField(name + QChar(u'\0')));
}

void Playback::decide_video()
{
    Module1 &m = app.m;
    // Whatever plays now is left: its place is noted before anything else opens.
    notePlace();
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
    Module1 &m = app.m;
    Player &p = app.mainPlayer();
    if (m.userPick == kOn) {
        m.resumePos = 0;
        m.userPick = 0;
    }
    p.setInUse(true);
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
        app.form1().Text2->setText(status::openFailedText(m.currentFile, fsprobe::exists(m.currentFile)));
    if (m.previewOn == kOn) {
        long long d = roundHalfEven(p.Duration());
        if (d > 32767)
            d = 0; // does not fit the 16-bit start: such a preview starts at 0
        m.resumePos = numtext::toInt16(roundHalfEven(d / 4.0));
        m.previewStart = m.resumePos;
    }
    p.setCurrentPosition(startFor(p, m.resumePos));
    p.Play();
    p.setVolume(m.volume);
    const numtext::Hms t = numtext::splitSeconds(roundHalfEven(p.Duration()));
    m.mins = int16_t(t.m);
    m.secs = int16_t(t.s);
    app.form1().Text1[5]->setText(numtext::hmsText(roundHalfEven(p.Duration())));
}

void Playback::List2_Click()
{
    Form1 &f = app.form1();
    const int last = app.mainPlayer().PlayState() == Player::Playing ? 4 : 6;
    for (int i = 0; i <= last; ++i)
        f.Text1[size_t(i)]->clear();
    f.Combo1->setCurrentIndex(-1);
    app.m.currentFile = f.List2->currentText();
    app.tags.readTag();
}

void Playback::List2_DblClick()
{
    if (app.form1().List2->count() == 0)
        return;
    app.m.userPick = kOn;
    bres_kommati();
}

void Playback::Command3_Click()
{
    if (app.form1().List2->count() > 0)
        bres_kommati();
}

void Playback::mnumorerandom_Click()
{
    Form1 &f = app.form1();
    app.m.shuffleOn = int16_t(~app.m.shuffleOn);
    f.List2->setEnabled(!f.List2->isEnabled());
    f.mnumorerandom->setChecked(!f.mnumorerandom->isChecked());
    f.mnusystemtraysuffle->setChecked(!f.mnusystemtraysuffle->isChecked());
    if (app.m.shuffleOn == kOn && f.mnumorecompleted->isChecked())
        app.form4().show();
    else if (app.m.shuffleOn == 0)
        app.form4().hide();
    paigmena();
    etiketes();
}

void Playback::mnumorereplayn_Click(int index)
{
    if (index < 0 || index > 2)
        return;
    app.m.replayMode = int16_t(index);
    for (int i = 0; i < 3; ++i)
        app.form1().mnumorereplayn[size_t(i)]->setChecked(i == index);
}
