// Adding the files of folders to the playlist and subtracting them from it.

#include "playlist/playlist.h"

#include "playlist/playlist_logic.h"
#include "playlist/wildcard.h"
#include "session/app.h"
#include "session/numtext.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <algorithm>

namespace {

// Additions are gathered and merged into the playlist in one step, before every turn of
// the event loop and at the end: adding thousands of rows one at a time into a sorted
// list would move the whole list each time.
class Adder {
public:
    explicit Adder(ListBox &list) : list(list) {}

    void add(const QString &entry)
    {
        const QString key = entry.toCaseFolded();
        if (list.findExact(entry) >= 0 || pendingKeys.contains(key))
            return;
        const plist::Refusal why = plist::refusalFor(entry, list.count() + int(pending.size()));
        if (why != plist::Refusal::None) {
            refused.count(why);
            return;
        }
        pending.push_back(entry);
        pendingKeys.insert(key);
        ++added;
    }

    void commit()
    {
        list.addItems(std::move(pending));
        pending.clear();
        pendingKeys.clear();
    }

    int added = 0;
    plist::Refused refused;

private:
    ListBox &list;
    std::vector<QString> pending;
    QSet<QString> pendingKeys;
};

// Removals likewise: rows are dropped in one step.
class Remover {
public:
    explicit Remover(ListBox &list) : list(list) {}

    void remove(const QString &entry)
    {
        const int row = Playlist::ListBoxFindString(list, entry);
        if (row >= 0 && !pending.contains(row)) {
            pending.insert(row);
            ++removed;
        }
    }

    void commit()
    {
        if (pending.empty())
            return;
        std::vector<QString> keep;
        keep.reserve(size_t(list.count()));
        for (int i = 0; i < list.count(); ++i)
            if (!pending.contains(i))
                keep.push_back(list.text(i));
        list.setItems(std::move(keep));
        pending.clear();
    }

    int removed = 0;

private:
    ListBox &list;
    QSet<int> pending;
};

QStringList checkedRows(const ListBox &box)
{
    QStringList rows;
    for (int i = 0; i < box.count(); ++i)
        if (box.isSelected(i))
            rows.append(box.text(i));
    return rows;
}

QStringList allRows(const ListBox &box)
{
    QStringList rows;
    for (int i = 0; i < box.count(); ++i)
        rows.append(box.text(i));
    return rows;
}

} // namespace

QStringList Playlist::folderEntries(const QString &folder) const
{
    const FileBox &box = *app.form1().File1;
    QStringList out;
    for (const QString &name : box.path() == folder ? box.files()
                                                    : wildcard::matchingFiles(folder, wildcard::Pattern(box.pattern())))
        out.append(wildcard::joinPath(folder, name));
    return out;
}

void Playlist::Command4_Click()
{
    Form1 &f = app.form1();
    Module1 &m = app.m;
    m.advanceCount = 0;
    m.resumePos = 0;
    Adder adder(*f.List2);

    // The rows are taken as they stand now; a scan during the pass does not change them.
    QStringList folders;
    const bool subPass = f.Option1[1]->isChecked() || (f.Option1[2]->isChecked() && m.subdirsOn == kOn);
    if (subPass) {
        f.Text2->setText(QStringLiteral("Προστείθονται αρχεία από υποφακέλους - Adding files from subdirectories"));
        folders = f.Option1[1]->isChecked() ? allRows(*f.List1) : checkedRows(*f.List1);
    }

    if (subPass) {
        if (f.List2->isEnabled())
            f.List2->setFocus();
        for (const QString &folder : folders) {
            f.File1->setPath(folder);
            if (yieldDue()) {
                adder.commit();
                yieldToEvents();
            }
            for (const QString &entry : folderEntries(f.File1->path()))
                adder.add(entry);
        }
    } else if (!f.Option1[2]->isChecked()) {
        for (const QString &entry : folderEntries(f.Dir1->path()))
            adder.add(entry);
    }
    adder.commit();

    app.playback.resetMarksToPlaylist();
    f.Text2->setText(QStringLiteral("Αριθμός αρχείων που Προστέθηκαν - Number of Added files :")
                     + numtext::N(adder.added) + plist::refusedText(adder.refused));
    app.playback.etiketes();
    app.playback.put_form4();
}

void Playlist::Command5_Click()
{
    Form1 &f = app.form1();
    Module1 &m = app.m;
    m.advanceCount = 0;
    m.resumePos = 0;

    if (f.Option1[1]->isChecked()) {
        f.List2->clear();
        app.form4().List1->clear();
        app.playback.etiketes();
        app.playback.mnumorereset_Click();
        return;
    }

    Remover remover(*f.List2);
    if (f.Option1[2]->isChecked()) {
        if (m.subdirsOn == kOn) {
            f.Text2->setText(QStringLiteral("Αφαιρούνται αρχεία των επιλεγμένων υποφακέλων - Subtracting files of the selected subdirectories"));
            for (const QString &folder : checkedRows(*f.List1)) {
                f.File1->setPath(folder);
                for (const QString &entry : folderEntries(f.File1->path()))
                    remover.remove(entry);
                if (yieldDue()) {
                    remover.commit();
                    yieldToEvents();
                }
            }
        }
    } else {
        for (const QString &entry : folderEntries(f.Dir1->path()))
            remover.remove(entry);
    }
    remover.commit();
    subtractFinish(remover.removed);
}

void Playlist::subtractFinish(int removed)
{
    Form1 &f = app.form1();
    app.playback.resetMarksToPlaylist();
    if (f.List2->count() == 0)
        app.form4().List1->clear();
    else
        app.playback.put_form4();
    app.playback.mnumorereset_Click();
    f.Text2->setText(QStringLiteral("Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files :")
                     + numtext::N(removed));
    app.playback.etiketes();
}
