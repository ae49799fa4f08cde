// Played marks and the completed window.

#include "playback/playback.h"

#include "playback/status_logic.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>

void Playback::resetMarksToPlaylist() { m.playedMarks.assign(size_t(std::max(1, f.List2->count())), 0); }

void Playback::put_form4()
{
    if (f.List2->count() == 0)
        return;
    completedStale = true;
    if (form4().isVisible())
        completedList();
    playlistChanged();
}

ListBox &Playback::completedList()
{
    ListBox &done = *form4().List1;
    const ListBox &list = *f.List2;
    if (!completedStale || list.count() == 0)
        return done;
    completedStale = false;
    QStringList rows;
    rows.reserve(list.count());
    for (int i = 0; i < list.count(); ++i)
        rows.append(status::completedRow(list.text(i), i));
    const std::vector<int> order = done.setItems(std::move(rows));
    // Where each entry's row stands, so that marking does not scan the list per entry.
    completedRowOf.assign(size_t(list.count()), -1);
    for (size_t r = 0; r < order.size(); ++r)
        completedRowOf[size_t(order[r])] = int(r);
    paigmena();
    return done;
}

int Playback::completedRowFor(int index)
{
    ListBox &done = completedList();
    const QString key = QStringLiteral("=>") + QString::number(index);
    if (index >= 0 && size_t(index) < completedRowOf.size()) {
        const int r = completedRowOf[size_t(index)];
        if (r >= 0 && done.text(r).endsWith(key))
            return r;
    }
    for (int r = 0; r < done.count(); ++r)
        if (done.text(r).endsWith(key))
            return r;
    return -1;
}

void Playback::paigmena()
{
    if (completedStale)
        return; // rows not built yet are marked when they are
    ListBox &done = *form4().List1;
    std::vector<int> rows;
    const auto &marks = m.playedMarks;
    for (int i = 0; i < done.count() && size_t(i) < marks.size(); ++i)
        if (marks[size_t(i)] == kOn) {
            const int r = completedRowFor(i);
            if (r >= 0)
                rows.push_back(r);
        }
    done.selectOnly(rows);
}

QString Playback::FindSong(int16_t song)
{
    if (song == -1)
        return QString(); // the pick form is FindSongPick
    if (completedStale) {
        // The row's text, without building every row for it; its mark comes with the build.
        const ListBox &list = *f.List2;
        return song >= 0 && song < list.count() ? status::completedRow(list.text(song), song) : QString();
    }
    const int r = completedRowFor(song);
    if (r < 0)
        return QString();
    ListBox &done = completedList();
    done.setSelected(r, true);
    return done.text(r);
}

int Playback::FindSongPick()
{
    const ListBox &done = completedList();
    return status::indexOfCompletedRow(done.currentText());
}

void Playback::mnumorecompleted_Click()
{
    f.mnumorecompleted->setChecked(!f.mnumorecompleted->isChecked());
    Form4 &w = form4();
    w.setVisible(!w.isVisible());
    if (w.isVisible())
        paigmena();
}

void Playback::mnumorereset_Click()
{
    std::fill(m.playedMarks.begin(), m.playedMarks.end(), int16_t(0));
    // Every rebuild that can drop entries (subtract, drops) ends here.
    keepListedPlaces();
    ListBox &list = *f.List2;
    list.clearSelection();
    form4().List1->clearSelection();
    if (m.lastIndex >= 0 && m.lastIndex < list.count()) {
        list.setSelected(m.lastIndex, true);
        paigmena();
        if (size_t(m.lastIndex) < m.playedMarks.size())
            m.playedMarks[size_t(m.lastIndex)] = kOn;
    }
}

void Playback::Form4_Command1_Click()
{
    f.mnumorecompleted->setChecked(!f.mnumorecompleted->isChecked());
    form4().hide();
}

void Playback::Form4_List1_DblClick()
{
    const int k = FindSongPick();
    ListBox &list = *f.List2;
    if (k < 0 || k >= list.count())
        return;
    setList2Index(k);
    list.setSelected(k, true);
    m.userPick = kOn;
    List2_DblClick();
}
