#include "playback/lengths.h"

#include "playback/lengths_logic.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "state/module1.h"
#include "state/state_db.h"
#include "ui/form4.h"
#include "ui/listbox.h"
#include "ui/listbox_model.h"

#include <QLabel>
#include <limits>

Lengths::Lengths(const Module1 &m, const ListBox &list, StateDb &db)
    : m(m)
    , list(list)
    , db(db)
{
    m_lookupTimer.setSingleShot(true);
    connect(&m_lookupTimer, &QTimer::timeout, this, [this] { lookUp(); });
    m_cache.changed = [this] {
        m_dirty = true;
        resume();
    };
    // The playing file's position moves on; the window shows it a few times a second.
    // Without a window to show it in, the timer sleeps until there is news or a window.
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        Form4 *w = window ? window() : nullptr;
        if (w && (m_dirty || w->isVisible()))
            refresh();
        else
            m_refreshTimer.stop();
    });
}

void Lengths::resume()
{
    if (m_started && !m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void Lengths::playlistChanged()
{
    m_dirty = true;
    m_lookupTimer.start(m_started ? 0 : kFirstLookupDelayMs);
}

void Lengths::lookUp()
{
    m_started = true;
    m_cache.setConnection(db.connectionName());
    m_cache.setPaths(list.items());
    m_dirty = true;
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

QString Lengths::text()
{
    if (list.count() != int(m_cache.lengthOf().size()) && !m_lookupTimer.isActive())
        playlistChanged(); // a rebuild that did not say so (emptied, say)
    std::vector<double> len = m_cache.lengthOf();
    len.resize(size_t(list.count()), std::numeric_limits<double>::quiet_NaN());

    int playing = -1;
    double position = 0;
    Player *p = watchedPlayer ? &watchedPlayer() : nullptr;
    if (p && m.lastIndex >= 0 && m.lastIndex < list.count() && !p->openFailed() && !p->opening()
        && !p->FileName().isEmpty() && p->FileName() == list.text(m.lastIndex)) {
        playing = m.lastIndex;
        position = p->CurrentPosition();
    }
    std::function<double(int)> place;
    if (placeOf)
        place = [&](int i) { return placeOf(list.text(i)); };
    return lengths::timeLeftText(lengths::tally(len, m.playedMarks, playing, position, place), m.playSpeed);
}

void Lengths::refresh()
{
    Form4 *w = window ? window() : nullptr;
    if (!w)
        return;
    m_dirty = false;
    auto *rows = static_cast<ListBoxModel *>(w->List1->model());
    if (!rows->shownAfter)
        rows->shownAfter = [this, rows](int row) { return placeNote(status::indexOfCompletedRow(rows->at(row))); };
    if (w->isVisible())
        w->List1->viewport()->update();
    const QString t = text();
    if (w->Label4->text() != t)
        w->Label4->setText(t);
}

QString Lengths::placeNote(int index) const
{
    const std::vector<double> &len = m_cache.lengthOf();
    if (!placeOf || index < 0 || index >= list.count() || size_t(index) >= len.size())
        return {};
    return lengths::placeNote(placeOf(list.text(index)), len[size_t(index)]);
}
