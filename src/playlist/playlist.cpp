#include "playlist/playlist.h"

#include "playlist/playlist_edits.h"
#include "state/module1.h"
#include "ui/browser_boxes.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>

Playlist::Playlist(Module1 &m, Form1 &f, Playback &playback, std::function<Form4 &()> form4)
    : m(m)
    , f(f)
    , playback(playback)
    , form4(std::move(form4))
{
}

Playlist::~Playlist() = default;

PlaylistEdits &Playlist::edits()
{
    if (!m_edits)
        m_edits = std::make_unique<PlaylistEdits>(*f.List2);
    return *m_edits;
}

void Playlist::applyPendingEdits()
{
    if (m_edits)
        m_edits->apply();
}

QStringList Playlist::fileTypesTable()
{
    return {
        QStringLiteral("All files - Όλα τα είδη αρχείων"),
        QStringLiteral("*.basx;*.wax;*.m3u;*.wpl;*.wvx;*.wmx;*.wmd;*.wmz"),
        QStringLiteral("*.dvr-ms"),
        QStringLiteral("*.mid;*.rmi;*.midi"),
        QStringLiteral("*.mpeg;*.mpg;*.mpe;*.m1v;*.mp2;*.mpa;*.mpv2;*.mp2v"),
        QStringLiteral("*.wav;*.snd;*.au;*.aif;*.aifc;*.aiff"),
        QStringLiteral("*.asf;*.wm;*.wma;*.wmv;*.wmd"),
        QStringLiteral("*.jpg;*.jpeg"),
        QStringLiteral("*.avi;*.wmv"),
        QStringLiteral("*.cda"),
        QStringLiteral("*.mp3"),
        // Appended so that the rows above keep their indexes; the name before the first
        // ";" is a part of the pattern that no media file's name matches.
        QStringLiteral(
            "Νεότερα - Newer media;*.mp4;*.m4v;*.mkv;*.webm;*.mov;*.ogv;*.m4a;*.aac;*.ogg;*.opus;*.flac;*.m4b;*.mka"),
    };
}

void Playlist::fillFileTypes()
{
    m.fileTypes = fileTypesTable();
    f.Combo2->addItems(m.fileTypes);
    setCombo2Index(10);
    f.File1->setPattern(f.Combo2->currentText());
}

void Playlist::setCombo2Index(int row)
{
    f.Combo2->setCurrentIndex(row);
    Combo2_Click();
}

void Playlist::Combo2_Click()
{
    const int row = f.Combo2->currentIndex();
    if (row < 0)
        return;
    if (row == 0) {
        f.File1->setPattern(m.fileTypes.mid(1, 10).join(QLatin1Char(';')));
        return;
    }
    f.File1->setPattern(f.Combo2->itemText(row));
    f.mnumoretags->setEnabled(row == 10);
}

bool Playlist::setDirPath(const QString &folder)
{
    if (!f.Dir1->setPath(folder))
        return false;
    Dir1_change();
    return true;
}

void Playlist::Dir1_change()
{
    m.folderChanged = kOn;
    // A folder that cannot be listed leaves the file box empty; nothing else happens.
    f.File1->setPath(f.Dir1->path());
    DesSubs();
}

bool Playlist::setDrive(const QString &drive)
{
    if (!f.Drive1->setDrive(drive))
        return false;
    Drive1_Change();
    return true;
}

void Playlist::Drive1_Change()
{
    const QString drive = f.Drive1->drive();
    if (!setDirPath(drive) || !f.File1->setPath(drive)) {
        dialogs::MsgBox(QStringLiteral("Λάθος - Error"), dialogs::Style::OkCritical);
        return;
    }
}

void Playlist::SizeList(int16_t list)
{
    switch (list) {
    case 1:
        f.List1->enableHorizontalScroll();
        break;
    case 2:
        f.List2->enableHorizontalScroll();
        break;
    case 3:
        form4().List1->enableHorizontalScroll();
        break;
    default:
        break;
    }
}
