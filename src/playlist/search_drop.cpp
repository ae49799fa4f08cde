// Finding entries: the whole-entry lookup, the text search into the completed window, and
// files dropped onto the main window.

#include "playlist/playlist.h"

#include "base/numtext.h"
#include "playback/playback.h"
#include "playlist/playlist_edits.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QLineEdit>

int Playlist::ListBoxFindString(const ListBox &ctrl, const QString &search) { return ctrl.findExact(search); }

void Playlist::Command6_Click()
{
    edits().apply();
    const QString word = plist::searchWord(f.Text2->text());
    const ListBox &list = *f.List2;
    QStringList entries;
    entries.reserve(list.count());
    for (int i = 0; i < list.count(); ++i)
        entries.append(list.text(i));

    std::vector<int> rows;
    for (int hit : plist::searchHits(entries, word)) {
        const int row = playback.completedRowFor(hit);
        if (row >= 0)
            rows.push_back(row);
    }
    // A search without a match leaves the last selection alone.
    if (!rows.empty())
        form4().List1->selectOnly(rows);
    f.Text2->setText(word + QStringLiteral("  *** Αποτελέσματα - Results :") + numtext::N(qsizetype(rows.size()))
                     + QStringLiteral(" ***"));
    if (!rows.empty()) {
        form4().show();
        f.mnumorecompleted->setChecked(true);
    }
}

void Playlist::WatchForFiles(const QStringList &paths)
{
    edits().apply();
    int added = 0;
    for (const QString &dropped : paths) {
        f.Text2->setText(dropped);
        const QString path = f.Text2->text().trimmed();
        if (!plist::acceptsDrop(path, m.fileTypes)) {
            f.Text2->setText(QStringLiteral("Άκυρο Αρχείο - Invalid File"));
            continue;
        }
        plist::Refused refused;
        if (ListBoxFindString(*f.List2, path) < 0) {
            const plist::Refusal why = plist::refusalFor(path, f.List2->count());
            if (why == plist::Refusal::None) {
                f.List2->addItem(path);
                ++added;
                playback.setList2Index(m.lastIndex);
                playback.resetMarksToPlaylist();
                playback.mnumorereset_Click();
            }
            refused.count(why);
        }
        f.Text2->setText(QStringLiteral("Αριθμός Προστιθέμενων Αρχείων - Number of Added files = ") + numtext::N(added)
                         + plist::refusedText(refused));
    }
    playback.put_form4();
}
