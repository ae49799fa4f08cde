#include "playback/sleep.h"

#include "playback/playback.h"
#include "playback/player.h"
#include "playback/sleep_logic.h"
#include "state/module1.h"
#include "ui/form1.h"

#include <QAction>
#include <QScrollBar>
#include <chrono>
#include <limits>

SleepTimer::SleepTimer(Module1 &m, Form1 &f, Playback &playback)
    : m(m)
    , f(f)
    , playback(playback)
{
    clock = [] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
}

void SleepTimer::mnusleepn_Click(int index)
{
    if (index < 0 || index >= sleeptimer::kChoices)
        return;
    if (m_fading)
        restoreVolume();
    choose(index);
    const double now = clock();
    m_deadline = sleeptimer::deadlineFor(index, now).value_or(std::numeric_limits<double>::infinity());
    showText(now);
}

void SleepTimer::choose(int index)
{
    m_choice = index;
    for (size_t i = 0; i < f.mnusleepn.size(); ++i)
        f.mnusleepn[i]->setChecked(int(i) == index);
}

QString SleepTimer::statusSuffix() const { return m_text.isEmpty() ? QString() : QStringLiteral("   ") + m_text; }

void SleepTimer::showText(double now)
{
    const QString text = sleeptimer::statusText(m_choice, m_deadline, now);
    if (text == m_text)
        return;
    m_text = text;
    playback.etiketes();
}

void SleepTimer::tick()
{
    if (m_choice == sleeptimer::Off)
        return;
    const double now = clock();
    Player &w = playback.watchedPlayer();
    if (m_choice == sleeptimer::EndOfFile) {
        // Only a playing file comes to its end; a paused one waits, at full volume.
        if (w.PlayState() != Player::Playing || playback.startInProgress() || w.opening()) {
            m_deadline = std::numeric_limits<double>::infinity();
            if (m_fading)
                restoreVolume();
            return;
        }
        m_deadline = sleeptimer::fileDeadline(now, w.CurrentPosition(), w.Duration(), m.playSpeed) - kEndMargin;
    }
    if (sleeptimer::fires(m_deadline, now)) {
        fire();
        return;
    }
    const double share = sleeptimer::fadeShare(m_deadline, now);
    if (share < 1.0) {
        m_fading = true;
        // The ticker copies the player's level at a file's end; the user's stays the bar's.
        const int user = f.HScroll1->value();
        m.volume = int16_t(user);
        w.setVolume(sleeptimer::fadedVolume(user, share));
    } else if (m_fading) {
        restoreVolume(); // moved away from the end (a seek back, a longer file)
    }
    showText(now);
}

bool SleepTimer::atFileEnd()
{
    if (m_choice != sleeptimer::EndOfFile)
        return false;
    fire();
    return true;
}

void SleepTimer::restoreVolume()
{
    m_fading = false;
    playback.setHScroll1(f.HScroll1->value());
    // The video window's player is not always reached by the bar.
    playback.watchedPlayer().setVolume(m.volume);
}

void SleepTimer::fire()
{
    Player &w = playback.watchedPlayer();
    if (w.PlayState() == Player::Playing)
        w.Pause();
    restoreVolume();
    choose(sleeptimer::Off);
    m_deadline = std::numeric_limits<double>::infinity();
    showText(clock());
    fired();
}
