// Adding the files of folders to the playlist and subtracting them from it.

#include "playlist/playlist.h"

#include "base/numtext.h"
#include "playback/playback.h"
#include "playlist/playlist_edits.h"
#include "playlist/playlist_logic.h"
#include "playlist/wildcard.h"
#include "state/module1.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

QStringList listRows(const ListBox &box, bool checkedOnly)
{
    QStringList rows;
    for (int i = 0; i < box.count(); ++i)
        if (!checkedOnly || box.isSelected(i))
            rows.append(box.text(i));
    return rows;
}

} // namespace

QStringList Playlist::folderEntries(const QString &folder) const
{
    const FileBox &box = *f.File1;
    const QStringList names
        = box.path() == folder ? box.files() : wildcard::matchingFiles(folder, wildcard::Pattern(box.pattern()));
    QStringList out;
    out.reserve(names.size());
    for (const QString &name : names)
        out.append(wildcard::joinPath(folder, name));
    return out;
}

PlaylistEdits &Playlist::beginBulkEdit()
{
    PlaylistEdits &list = edits();
    list.apply();
    m.advanceCount = 0;
    m.resumePos = 0;
    return list;
}

void Playlist::passOver(const QStringList &folders, const std::function<void(const QString &)> &use, int *beyond)
{
    FileBox &box = *f.File1;
    const wildcard::Pattern pattern(box.pattern());
    for (const QString &folder : folders) {
        box.follow(folder);
        if (yieldDue())
            yieldToEvents();
        QStringList entries = entriesOf(folder, pattern);
        // Order matters only where the playlist may fill up part way through a folder.
        if (edits().countAfter() + entries.size() >= plist::kMaxEntries)
            wildcard::sortNoCase(entries);
        for (const QString &entry : std::as_const(entries))
            use(entry);
        if (beyond)
            *beyond += beyondReach(folder, pattern);
    }
}

void Playlist::Command4_Click()
{
    PlaylistEdits &list = beginBulkEdit();
    int added = 0;
    plist::Refused refused;
    const auto add = [&](const QString &entry) {
        plist::Refusal why;
        if (list.addIfAbsent(entry, &why)) {
            refused.count(why);
            added += why == plist::Refusal::None;
        }
    };

    const bool all = f.Option1[1]->isChecked();
    const bool selected = f.Option1[2]->isChecked();
    if (all || (selected && m.subdirsOn == kOn)) {
        f.Text2->setText(QStringLiteral("Προστείθονται αρχεία από υποφακέλους - Adding files from subdirectories"));
        if (f.List2->isEnabled())
            f.List2->setFocus();
        // The rows as they stand now; a scan during the pass does not change what it takes.
        passOver(listRows(*f.List1, !all), add, &refused.tooLong);
    } else if (!selected) {
        for (const QString &entry : folderEntries(f.Dir1->path()))
            add(entry);
    }
    list.apply();

    playback.resetMarksToPlaylist();
    f.Text2->setText(QStringLiteral("Αριθμός αρχείων που Προστέθηκαν - Number of Added files :") + numtext::N(added)
                     + plist::refusedText(refused));
    playback.etiketes();
    playback.put_form4();
}

void Playlist::Command5_Click()
{
    PlaylistEdits &list = beginBulkEdit();

    if (f.Option1[1]->isChecked()) {
        f.List2->clear();
        form4().List1->clear();
        playback.etiketes();
        playback.mnumorereset_Click();
        return;
    }

    int removed = 0;
    if (f.Option1[2]->isChecked()) {
        if (m.subdirsOn == kOn) {
            f.Text2->setText(QStringLiteral(
                "Αφαιρούνται αρχεία των επιλεγμένων υποφακέλων - Subtracting files of the selected subdirectories"));
            passOver(listRows(*f.List1, true), [&](const QString &entry) { removed += list.remove(entry); });
        }
    } else {
        for (const QString &entry : folderEntries(f.Dir1->path()))
            removed += list.remove(entry);
    }
    list.apply();

    playback.resetMarksToPlaylist();
    if (f.List2->count() == 0)
        form4().List1->clear();
    else
        playback.put_form4();
    playback.mnumorereset_Click();
    f.Text2->setText(QStringLiteral("Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files :")
                     + numtext::N(removed));
    playback.etiketes();
}
