#include "session/session.h"

#include "app/app.h"
#include "base/numtext.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playlist/playlist.h"
#include "session/places.h"
#include "session/state_codec.h"
#include "session/state_db.h"
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
#include <sys/stat.h>

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
} // namespace

Session::Session(App &app)
    : app(app)
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

QString Session::statePath() const { return app.m.stateFolder + kFileName; }

state::Snapshot Session::snapshot()
{
    Module1 &m = app.m;
    Form1 &f = app.form1();
    ListBox &list = *f.List2;

    state::Snapshot s;
    s.drive = f.Drive1->drive();
    s.folder = f.Dir1->path();
    // The entry that plays, not the row the cursor was last moved to (a click only shows
    // another file's tag); with nothing playing, the selected row.
    Player &player = app.playback().watchedPlayer();
    const int playing = player.PlayState() == Player::Stopped ? -1 : playingRow(list, m.lastIndex, player.FileName());
    s.lastIndex = int16_t(playing >= 0 ? playing : list.listIndex());
    // The position of the player that has the file, the video window's included.
    // The record is 16-bit: a position past 9:06:07 is kept as the furthest it can hold.
    // A close while a file still opens keeps the second it is about to start at.
    const double at = app.playback().startInProgress() ? m.resumePos : player.CurrentPosition();
    s.resumePos = numtext::toInt16(numtext::roundHalfEven(at));
    s.currentEntry = playing >= 0 ? list.text(playing) : list.currentText();
    s.volume = m.volume;
    s.shuffleOn = m.shuffleOn;
    s.previewOn = m.previewOn;
    s.previewSecs = m.previewSecs;
    s.playedMarks = m.playedMarks;
    s.subdirsOn = m.subdirsOn;
    s.selectAll = m.selectAll;
    s.replayMode = m.replayMode;
    for (int i = 0; i < list.count(); ++i)
        s.entries.append(list.text(i));
    s.videoMode = m.videoMode;
    return s;
}

void Session::SaveState()
{
    Module1 &m = app.m;
    app.playback().notePlace();
    const state::Snapshot s = snapshot();
    m.lastIndex = s.lastIndex;
    m.resumePos = s.resumePos;

    // A complete new file replaces the old one in one rename: a crash or a full disk
    // during the save leaves the previous session as it was.
    // Unbuffered, because a buffered write that fails when flushed (full disk, file size
    // limit) still let the half-written file replace the good one.
    QSaveFile file(statePath());
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (saved && !state::encodeTo(file, s)) {
        file.cancelWriting();
        saved = false;
    }
    saved = saved && file.commit();
    if (!m_db)
        return;
    // Unsaved, the session stays in the database and the next start takes it from there.
    if (saved)
        m_db->markClean();
    else
        m_db->write(s, QDateTime::currentMSecsSinceEpoch());
}

void Session::writeRecovery()
{
    app.playback().notePlace();
    if (m_db && m_db->isOpen())
        m_db->write(snapshot(), QDateTime::currentMSecsSinceEpoch());
}

QByteArray Session::recover(QByteArray fileBytes, qint64 fileMs)
{
    m_skipCrashed = false;
    m_restored = false;
    m_db = std::make_unique<StateDb>(statedb::defaultPath(), app.m.stateFolder);
    if (!m_db->open())
        return fileBytes;
    const auto last = m_db->load(false);
    statedb::Guard guard;
    if (last && !last->clean) {
        // The last run was killed, crashed or lost its power after its last write.
        if (last->savedMs > fileMs) {
            fileBytes = state::encode(last->snapshot);
            m_restored = true;
        }
        const QString entry = state::Records(fileBytes).readString(5).value_or(QString());
        guard = statedb::afterUncleanEnd(last->guard, entry);
        m_skipCrashed = statedb::skipEntry(guard);
    }
    m_db->beginRun(guard);
    return fileBytes;
}

void Session::LoadState()
{
    Module1 &m = app.m;
    Form1 &f = app.form1();
    ListBox &list = *f.List2;

    m.stateFolder = workingStateFolder();
    const QFileInfo fileInfo(statePath());
    const qint64 fileMs = fileInfo.exists() ? fileInfo.lastModified().toMSecsSinceEpoch() : 0;
    QFile file(statePath());
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.close(); // a missing file is created empty, as the first run expects
    QByteArray bytes;
    // A FIFO or device in the file's place would block or never end: read as empty.
    struct stat st { };
    const bool regular = ::stat(QFile::encodeName(file.fileName()).constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (regular && file.open(QIODevice::ReadOnly)) {
        // Nothing past the last record the saved playlist length reaches is read: a huge
        // or endless file costs no more than the records it names, 16 + 2 x 32 767 at most.
        bytes = file.read(qint64(10) * state::kRecordSize);
        const int16_t n = state::Records(bytes).readInt(10);
        const qint64 records = std::clamp(state::videoRecord(n), 16, state::kMaxRecords);
        // Read into place: appending a second buffer would hold the file twice at the peak.
        const qint64 head = bytes.size();
        bytes.resize(records * state::kRecordSize);
        const qint64 got = file.read(bytes.data() + head, bytes.size() - head);
        bytes.resize(head + std::max<qint64>(got, 0));
        file.close();
    }
    state::Records r(recover(std::move(bytes), fileMs));
    app.places().attach(m_db->connectionName(), m_db->key());

    // A saved folder that is gone is skipped and the boxes keep the folder they showed,
    // although the drive step has already moved them to the drive's root.
    const QString shownBefore = f.Dir1->path();
    if (const auto drive = r.readString(1); drive && !drive->isEmpty())
        app.playlist().setDrive(*drive);
    if (const auto folder = r.readString(2);
        folder && !folder->isEmpty() && !app.playlist().setDirPath(*folder) && f.Dir1->path() != shownBefore) {
        f.Drive1->setDrive(DriveBox::driveOf(shownBefore));
        app.playlist().setDirPath(shownBefore);
    }

    // A damaged file may carry any value; an index below "none" or a negative second is
    // read as none and as the start.
    m.lastIndex = std::max<int16_t>(r.readInt(3), -1);
    m.resumePos = std::max<int16_t>(r.readInt(4), 0);
    const QString remembered = r.readString(5).value_or(QString());
    m.volume = r.readInt(6);
    m.shuffleOn = r.readInt(7);
    m.previewOn = r.readInt(8);
    m.previewSecs = r.readInt(9);
    const int n = r.readInt(10);

    // Marks keep their saved positions; anything but 0 counts as played.
    if (n >= 0) {
        if (m.playedMarks.size() < size_t(n + 1))
            m.playedMarks.resize(size_t(n + 1), 0);
        for (int i = 0; i <= n; ++i)
            m.playedMarks[size_t(i)] = r.readInt(state::marksRecord(i)) != 0 ? kOn : int16_t(0);
    }

    m.subdirsOn = r.readInt(state::subdirsRecord(n));
    m.selectAll = r.readInt(state::selectAllRecord(n));
    m.replayMode = r.readInt(state::replayRecord(n));
    if (m.replayMode >= 0 && m.replayMode <= 2)
        for (int i = 0; i < 3; ++i)
            if (i != m.replayMode)
                f.mnumorereplayn[size_t(i)]->setChecked(false);

    std::vector<QString> entries;
    std::vector<int> savedAt; // each kept entry's record index
    for (int i = 0; i <= n; ++i) {
        const auto text = r.readString(state::entryRecord(n, i));
        if (text && !text->isEmpty() && *text != QLatin1String(" ")) {
            entries.push_back(*text);
            savedAt.push_back(i);
        }
    }
    const int16_t videoMode = r.readInt(state::videoRecord(n));
    r = state::Records(); // the file's bytes go before the list's keys are made
    const std::vector<QString> saved = entries;
    list.setItems(std::move(entries));
    if (m.playedMarks.size() < size_t(std::max(1, list.count())))
        m.playedMarks.resize(size_t(std::max(1, list.count())), 0);
    followSavedOrder(saved, savedAt, remembered);

    if (m.lastIndex >= 0 && m.lastIndex < list.count()) {
        app.playback().setList2Index(m.lastIndex);
        list.setSelected(m.lastIndex, true);
    }
    m.videoMode = videoMode;

    app.playback().put_form4();
    app.playlist().SizeList(2);
    app.playlist().SizeList(1);
    app.playlist().SizeList(3);

    if (m.shuffleOn == kOn) {
        f.mnumorerandom->setChecked(true);
        f.mnusystemtraysuffle->setChecked(true);
        f.mnumorecompleted->setEnabled(true);
        list.setEnabled(false);
        f.Command3->setEnabled(true);
    }
    if (m.previewOn == kOn) {
        f.mnumorepreview->setChecked(true);
        f.mnumoreduration->setEnabled(true);
    }
    if (m.previewSecs == 0)
        m.previewSecs = 10;
    app.playback().setHScroll1(m.volume);

    reconcile(remembered, n);

    // Said where the user looks, so that neither a kill nor a failed save passes unnoticed.
    m_notice.clear();
    if (m_restored)
        m_notice = QStringLiteral("Η συνεδρία επανήλθε από το αντίγραφο ανάκτησης"
                                  " - The session was restored from its recovery copy");
    if (!m_db->setAside().isEmpty())
        m_notice = QStringLiteral("Η βάση κατάστασης ήταν χαλασμένη και φυλάχτηκε ως ") + m_db->setAside()
            + QStringLiteral(" - The state database was damaged and was set aside as ") + m_db->setAside();
    if (!m_notice.isEmpty())
        f.Text2->setText(m_notice);
    const int at = list.listIndex();
    if (m_skipCrashed && at >= 0 && at < list.count() && list.text(at) == remembered) {
        // Two runs in a row ended on this entry: count it played and go on to the next.
        if (size_t(at) < m.playedMarks.size())
            m.playedMarks[size_t(at)] = kOn;
        m.resumePos = 0;
        m.resumePending = 0;
        // Replay One would start the same entry again.
        if (m.replayMode == 1 && list.count() > 1)
            app.playback().setList2Index((at + 1) % list.count());
    } else {
        m.resumePending = kOn;
    }
    app.playback().bres_kommati();

    if (!m_recoveryTimer) {
        m_recoveryTimer = new QTimer(&f);
        m_recoveryTimer->setInterval(kRecoveryIntervalMs);
        QObject::connect(m_recoveryTimer, &QTimer::timeout, &f, [this] { writeRecovery(); });
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
    QLineEdit *line = app.form1().Text2;
    if (!m_notice.isEmpty() && !line->text().contains(m_notice))
        line->setText(m_notice + QStringLiteral("  *** ") + line->text());
}

void Session::followSavedOrder(const std::vector<QString> &saved, const std::vector<int> &savedAt,
                               const QString &remembered)
{
    Module1 &m = app.m;
    ListBox &list = *app.form1().List2;
    if (m.lastIndex < 0 || m.lastIndex >= list.count() || list.text(m.lastIndex) == remembered)
        return;
    const auto at = std::find(savedAt.begin(), savedAt.end(), int(m.lastIndex));
    if (at == savedAt.end() || saved[size_t(at - savedAt.begin())] != remembered)
        return;
    std::vector<int16_t> marks(m.playedMarks.size(), 0);
    int16_t last = m.lastIndex;
    for (size_t k = 0; k < saved.size(); ++k) {
        const int row = list.findExact(saved[k]);
        if (row < 0 || size_t(row) >= marks.size())
            continue;
        const int from = savedAt[k];
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
    Module1 &m = app.m;
    ListBox &list = *app.form1().List2;
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
        app.playback().setList2Index(match);
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
