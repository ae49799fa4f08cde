#include "app/session.h"

#include "base/fsprobe.h"
#include "base/numtext.h"
#include "playback/places_logic.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playlist/playlist.h"
#include "state/module1.h"
#include "state/places.h"
#include "ui/browser_boxes.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>

using numtext::N;

namespace {
// Row of the playing file: the entry it was started from while that row still holds it
// (the same path may be listed twice), else the first row that does; -1 when none.
int playingRow(const ListBox &list, int startedRow, const QString &file)
{
    if (file.isEmpty())
        return -1;
    if (startedRow >= 0 && startedRow < list.count() && list.text(startedRow) == file)
        return startedRow;
    return list.findExact(file);
}

// A file that could not be opened reads as an empty one.
state::Decoded decodeFile(QFile &file, bool opened)
{
    return opened ? state::decode(file) : state::decode(QByteArray());
}
} // namespace

Session::Session(Module1 &m, Form1 &form, StateDb &db, Playback &playback, Playlist &playlist, Places &places)
    : m(m)
    , form(form)
    , playback(playback)
    , playlist(playlist)
    , places(places)
    , m_db(db)
{
}

Session::~Session() = default;

QString Session::workingStateFolder()
{
    QString folder = QDir::currentPath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString Session::statePath() const { return m.stateFolder + kFileName; }

state::Snapshot Session::snapshot()
{
    ListBox &list = *form.List2;

    state::Snapshot s;
    s.drive = form.Drive1->drive();
    s.folder = form.Dir1->path();
    // The entry that plays, not the row the cursor was last moved to (a click only shows
    // another file's tag); with nothing playing, the selected row.
    Player &player = playback.watchedPlayer();
    const int playing = player.PlayState() == Player::Stopped ? -1 : playingRow(list, m.lastIndex, player.FileName());
    s.lastIndex = int16_t(playing >= 0 ? playing : list.listIndex());
    // The position of the player that has the file, the video window's included.
    // The record is 16-bit: a position past 9:06:07 is kept as the furthest it can hold.
    // A close while a file still opens keeps the second it is about to start at.
    const double at = playback.startInProgress() || player.opening() ? m.resumePos : player.CurrentPosition();
    s.resumePos = numtext::toInt16(places::savedSecond(at, player.Duration()));
    s.currentEntry = playing >= 0 ? list.text(playing) : list.currentText();
    s.volume = m.volume;
    s.shuffleOn = m.shuffleOn;
    s.previewOn = m.previewOn;
    s.previewSecs = m.previewSecs;
    s.playedMarks = m.playedMarks;
    s.subdirsOn = m.subdirsOn;
    s.selectAll = m.selectAll;
    s.replayMode = m.replayMode;
    s.entries = list.items(); // shared: no copy of a big list every few seconds
    s.videoMode = m.videoMode;
    return s;
}

void Session::SaveState()
{
    playback.notePlace();
    const state::Snapshot s = snapshot();
    m.lastIndex = s.lastIndex;
    m.resumePos = s.resumePos;

    // A complete new file replaces the old one in one rename: a crash or a full disk
    // during the save leaves the previous session as it was.
    // Unbuffered, because a buffered write that fails when flushed (full disk, file size
    // limit) still let the half-written file replace the good one.
    // The save renames over what a link names: only a link to a file is followed, never one to
    // a device or a FIFO.
    QSaveFile file(statePath());
    const bool linkToOther = QFileInfo(statePath()).isSymLink() && !fsprobe::isRegular(statePath());
    bool saved = !linkToOther && file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (saved && !state::encodeTo(file, s)) {
        file.cancelWriting();
        saved = false;
    }
    saved = saved && file.commit();
    // Unsaved, the session stays in the database and the next start takes it from there.
    if (saved)
        m_db.markClean();
    else if (!m_db.write(s, QDateTime::currentMSecsSinceEpoch()))
        dialogs::MsgBox(QStringLiteral("Η συνεδρία δεν αποθηκεύτηκε: ούτε το ") + statePath()
                            + QStringLiteral(" ούτε η βάση κατάστασης γράφονται, ό,τι άλλαξε σε αυτή την εκτέλεση"
                                             " χάνεται.\r\nThe session was not saved: neither ")
                            + statePath()
                            + QStringLiteral(" nor the state database can be written, what changed in this run"
                                             " is lost."),
                        dialogs::Style::OkExclamation);
}

QString Session::unkeptText() const
{
    const QString why = m_db.lastError().isEmpty() ? QString() : QStringLiteral(" (") + m_db.lastError() + ')';
    return QStringLiteral("Το αντίγραφο ανάκτησης δεν γράφεται") + why
        + QStringLiteral(": αν το πρόγραμμα σταματήσει απότομα, ό,τι άλλαξε χάνεται"
                         " - The recovery copy cannot be written")
        + why + QStringLiteral(": if the program is stopped abruptly, what changed is lost");
}

QString Session::lockedText()
{
    return QStringLiteral("Η βάση κατάστασης είναι κλειδωμένη από άλλο πρόγραμμα: οι θέσεις δεν κρατιούνται μέχρι"
                          " να ελευθερωθεί - The state database is locked by another program: places are not kept"
                          " until it is free");
}

void Session::writeRecovery()
{
    playback.notePlace();
    // A database locked at the start is taken up once it frees, with the places kept meanwhile.
    if (m_db.locked() && !m_db.isOpen() && m_db.open()) {
        m_db.beginRun({});
        places.attach();
    }
    const bool kept = m_db.isOpen() && m_db.write(snapshot(), QDateTime::currentMSecsSinceEpoch());
    const bool locked = m_db.locked();
    // Told when it begins, not on every tick; a lock let go takes its message with it.
    if (locked && !m_lockTold)
        form.Text2->setText(lockedText());
    if (!locked && m_lockTold && form.Text2->text().contains(lockedText()))
        form.Text2->setText(form.Text2->text().remove(lockedText() + QStringLiteral("  *** ")).remove(lockedText()));
    m_lockTold = locked;
    if (!kept && !m_unkept && !locked)
        form.Text2->setText(unkeptText());
    m_unkept = !kept && !locked;
    // At rest the writes wait for a change, unless a lock still holds some back.
    if (m_resting && !locked && m_recoveryTimer)
        m_recoveryTimer->stop();
}

void Session::recoverWhile(bool running)
{
    m_resting = !running;
    if (!m_recoveryTimer || running == m_recoveryTimer->isActive())
        return;
    if (running)
        m_recoveryTimer->start();
    else
        writeRecovery();
}

// A run killed in the middle of a save leaves the save's temporary file behind, as large as
// the session; no later save reuses it.
void Session::removeStaleSaves() const
{
    // Matched by hand: a name filter would compile a regular expression on every start.
    QDir dir(m.stateFolder);
    const QString stem = kFileName + '.';
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        if (name.size() == stem.size() + 6 && name.startsWith(stem))
            dir.remove(name);
}

bool Session::openStateFile(QFile &file, qint64 *modifiedMs) const
{
    const QFileInfo info(statePath());
    *modifiedMs = info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0;
    file.setFileName(statePath());
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.close(); // a missing file is created empty, as the first run expects
    // A FIFO or device in the file's place would block or never end: read as empty.
    return fsprobe::isRegular(statePath()) && file.open(QIODevice::ReadOnly);
}

std::optional<QByteArray> Session::recover(const QByteArray &head, qint64 fileMs)
{
    m_skipCrashed = false;
    m_restored = false;
    if (!m_db.open(statedb::defaultPath(), m.stateFolder))
        return std::nullopt;
    const auto last = m_db.load(false);
    std::optional<QByteArray> restored;
    statedb::Guard guard;
    if (last && !last->clean) {
        // The last run was killed, crashed or lost its power after its last write.
        if (last->savedMs > fileMs) {
            restored = state::encode(last->snapshot);
            m_restored = true;
        }
        // The entry that was opening when it died; rows of older runs name none.
        QString entry = last->guard.entry;
        if (entry.isEmpty())
            entry = restored ? last->snapshot.currentEntry : state::Records(head).readString(5).value_or(QString());
        guard = statedb::afterUncleanEnd(last->guard, entry);
        m_skipCrashed = statedb::skipEntry(guard);
        m_crashed = guard.entry;
    }
    m_db.beginRun(guard);
    return restored;
}

// A saved folder that is gone is skipped and the boxes keep the folder they showed,
// although the drive step has already moved them to the drive's root.
void Session::applyFolders(const state::Snapshot &s)
{
    const QString shownBefore = form.Dir1->path();
    if (!s.drive.isEmpty())
        playlist.setDrive(s.drive);
    if (!s.folder.isEmpty() && !playlist.setDirPath(s.folder) && form.Dir1->path() != shownBefore) {
        form.Drive1->setDrive(DriveBox::driveOf(shownBefore));
        playlist.setDirPath(shownBefore);
    }
}

void Session::applySettings(const state::Snapshot &s)
{
    m.lastIndex = s.lastIndex;
    m.resumePos = s.resumePos;
    m.volume = s.volume;
    m.shuffleOn = s.shuffleOn;
    m.previewOn = s.previewOn;
    m.previewSecs = s.previewSecs;
    // Marks keep their saved positions.
    if (m.playedMarks.size() < s.playedMarks.size())
        m.playedMarks.resize(s.playedMarks.size(), 0);
    std::copy(s.playedMarks.begin(), s.playedMarks.end(), m.playedMarks.begin());
    m.subdirsOn = s.subdirsOn;
    m.selectAll = s.selectAll;
    m.replayMode = s.replayMode;
    if (m.replayMode >= 0 && m.replayMode <= 2)
        for (int i = 0; i < 3; ++i)
            if (i != m.replayMode)
                form.mnumorereplayn[size_t(i)]->setChecked(false);
}

void Session::applyList(const state::Decoded &d)
{
    ListBox &list = *form.List2;
    const QStringList &saved = d.snapshot.entries;
    list.setItems(saved);
    if (m.playedMarks.size() < size_t(std::max(1, list.count())))
        m.playedMarks.resize(size_t(std::max(1, list.count())), 0);
    followSavedOrder(saved, d.savedAt, d.snapshot.currentEntry);
    if (m.lastIndex >= 0 && m.lastIndex < list.count()) {
        playback.setList2Index(m.lastIndex);
        list.setSelected(m.lastIndex, true);
    }
    m.videoMode = d.snapshot.videoMode;
}

void Session::applyMenus()
{
    if (m.shuffleOn == kOn) {
        form.mnumorerandom->setChecked(true);
        form.mnusystemtraysuffle->setChecked(true);
        form.mnumorecompleted->setEnabled(true);
        form.List2->setEnabled(false);
        form.Command3->setEnabled(true);
    }
    if (m.previewOn == kOn) {
        form.mnumorepreview->setChecked(true);
        form.mnumoreduration->setEnabled(true);
    }
}

// Said where the user looks, so that neither a kill nor a failed save passes unnoticed.
void Session::showNotice()
{
    m_notice.clear();
    if (m_restored)
        m_notice = QStringLiteral("Η συνεδρία επανήλθε από το αντίγραφο ανάκτησης"
                                  " - The session was restored from its recovery copy");
    if (m_db.droppedRows() > 0)
        m_notice = QStringLiteral("Η βάση κατάστασης έχασε ") + QString::number(m_db.droppedRows())
            + QStringLiteral(" εγγραφές με ονόματα αρχείων που δεν διαβάζονται πια - The state database dropped ")
            + QString::number(m_db.droppedRows())
            + QStringLiteral(" rows naming files in a form that cannot be read back");
    m_unkept = !m_db.isOpen() && m_db.cannotWrite();
    if (m_unkept)
        m_notice = unkeptText();
    m_lockTold = m_db.locked();
    if (m_lockTold)
        m_notice = lockedText();
    if (!m_db.setAside().isEmpty())
        m_notice = QStringLiteral("Η βάση κατάστασης ήταν χαλασμένη και φυλάχτηκε ως ") + m_db.setAside()
            + QStringLiteral(" - The state database was damaged and was set aside as ") + m_db.setAside();
    if (!m_notice.isEmpty())
        form.Text2->setText(m_notice);
}

bool Session::resumeOrSkip(const QString &remembered)
{
    const ListBox &list = *form.List2;
    const int at = list.listIndex();
    const bool resumed = at >= 0 && at < list.count() && list.text(at) == remembered;
    // Two runs in a row ended in this entry: it counts as played, and the list goes on.
    int crashed = -1;
    if (m_skipCrashed)
        crashed = resumed && remembered == m_crashed ? at : list.findExact(m_crashed);
    if (crashed >= 0) {
        if (size_t(crashed) < m.playedMarks.size())
            m.playedMarks[size_t(crashed)] = kOn;
        const QString told = QStringLiteral("Το πρόγραμμα τερματίστηκε δύο φορές ανοίγοντας το ") + m_crashed
            + QStringLiteral(": σημειώθηκε ως παιγμένο και παραλείφθηκε - The program ended twice while opening ")
            + m_crashed + QStringLiteral(": it was marked played and skipped");
        m_notice = m_notice.isEmpty() ? told : told + QStringLiteral("  *** ") + m_notice;
        form.Text2->setText(m_notice);
    }
    if (crashed >= 0 && crashed == at) {
        m.resumePos = 0;
        m.resumePending = 0;
        // Replay One would start the same entry again.
        if (m.replayMode == 1 && list.count() > 1)
            playback.setList2Index((at + 1) % list.count());
    } else {
        m.resumePending = kOn;
    }
    return crashed >= 0;
}

void Session::LoadState()
{
    m.stateFolder = workingStateFolder();
    qint64 fileMs = 0;
    QFile file;
    const bool opened = openStateFile(file, &fileMs);
    removeStaleSaves();
    const std::optional<QByteArray> restored = recover(opened ? file.read(state::kHeadSize) : QByteArray(), fileMs);
    // Read a few records at a time: a full playlist's file is 16 MB, and a huge one costs
    // no more than the records its playlist length names.
    const state::Decoded d = restored ? state::decode(*restored) : decodeFile(file, opened);
    places.attach();

    applyFolders(d.snapshot);
    applySettings(d.snapshot);
    applyList(d);
    playback.put_form4();
    playlist.SizeList(2);
    playlist.SizeList(1);
    playlist.SizeList(3);
    applyMenus();
    if (m.previewSecs == 0)
        m.previewSecs = 10;
    playback.setHScroll1(m.volume);
    reconcile(d.snapshot.currentEntry, d.lastSaved);
    showNotice();
    const bool skipped = resumeOrSkip(d.snapshot.currentEntry);
    playback.bres_kommati();
    // The mark must outlive a third run that dies before the first recovery write.
    if (skipped)
        writeRecovery();

    if (!m_recoveryTimer) {
        m_recoveryTimer = new QTimer(&form);
        m_recoveryTimer->setInterval(kRecoveryIntervalMs);
        QObject::connect(m_recoveryTimer, &QTimer::timeout, &form, [this] { writeRecovery(); });
    }
    m_recoveryTimer->start();
}

// A list written in another order (by the older sort of names) indexes its marks and its
// remembered entry in that order: they move with their entries, so nothing played is
// forgotten and the same file resumes. The sign is that record 5 names the entry at record
// 3 in the file's order but not in the box's; otherwise indexes stay as they are.
void Session::keepStartNotice()
{
    // The start-up resume may report a file that failed to open; the notice stays in front.
    QLineEdit *line = form.Text2;
    if (!m_notice.isEmpty() && !line->text().contains(m_notice))
        line->setText(m_notice + QStringLiteral("  *** ") + line->text());
}

void Session::followSavedOrder(const QStringList &saved, const std::vector<int> &savedAt, const QString &remembered)
{
    ListBox &list = *form.List2;
    if (m.lastIndex < 0 || m.lastIndex >= list.count() || list.text(m.lastIndex) == remembered)
        return;
    const auto at = std::find(savedAt.begin(), savedAt.end(), int(m.lastIndex));
    if (at == savedAt.end() || saved.value(at - savedAt.begin()) != remembered)
        return;
    std::vector<int16_t> marks(m.playedMarks.size(), 0);
    int16_t last = m.lastIndex;
    for (qsizetype k = 0; k < saved.size() && size_t(k) < savedAt.size(); ++k) {
        const int row = list.findExact(saved[k]);
        if (row < 0 || size_t(row) >= marks.size())
            continue;
        const int from = savedAt[size_t(k)];
        if (size_t(from) < m.playedMarks.size() && m.playedMarks[size_t(from)] != 0)
            marks[size_t(row)] = kOn;
        if (from == m.lastIndex)
            last = int16_t(row);
    }
    m.playedMarks = std::move(marks);
    m.lastIndex = last;
}

void Session::reconcile(const QString &remembered, int savedLast)
{
    ListBox &list = *form.List2;
    const int c = list.count();
    const int saved = savedLast + 1;
    if (remembered.isEmpty() || c == saved)
        return;

    const numtext::Hms t = numtext::splitSeconds(m.resumePos);
    QString greek = QStringLiteral("Ο αριθμός των αρχείων του καταλόγου άλλαξε από") + N(saved) + QStringLiteral(" σε")
        + N(c) + QStringLiteral(", διαφορά") + N(c - saved) + QStringLiteral(" αρχείων.");
    QString english = QStringLiteral("\r\nThe number of files presented in the currend folder has been changed from")
        + N(saved) + QStringLiteral(" to") + N(c) + QStringLiteral(", difference is") + N(c - saved)
        + QStringLiteral(" files.");

    int match = -1;
    for (int i = 0; i < c && match < 0; ++i)
        if (list.text(i) == remembered)
            match = i;
    if (match >= 0) {
        playback.setList2Index(match);
        const int skipped = match > m.lastIndex ? match - m.lastIndex : 0;
        greek += QStringLiteral(" Προσπεράστηκαν ") + N(skipped) + QStringLiteral(" αρχεία.\r\n");
        english += N(skipped) + QStringLiteral(" files have been missed.");
    } else {
        m.resumePos = 0;
        if (m.lastIndex > savedLast)
            m.lastIndex = int16_t(savedLast);
        greek += QStringLiteral(" Το αρχείο που αναπαράχθηκε την τελευταία φορά ήταν το ") + remembered
            + QStringLiteral(" και ο χρόνος αναπαραγωγής διήρκησε ") + N(t.h) + QStringLiteral(":") + N(t.m)
            + QStringLiteral(":") + N(t.s) + QStringLiteral(" δευτερόλεπτα.\r\n");
        english += QStringLiteral(" The file that was last time reproduced was ") + remembered;
    }
    if (m.shuffleOn == 0)
        dialogs::MsgBox(greek + english, dialogs::Style::OkExclamation);
}
