#pragma once
// The file browser, the type filter and the playlist box's bookkeeping.

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <sys/types.h>

class Form1;
class Form4;
class ListBox;
class Playback;
class PlaylistEdits;
struct Module1;
namespace wildcard {
class Pattern;
}

class Playlist {
public:
    // The completed window, made on first use, is reached through form4.
    Playlist(Module1 &m, Form1 &f, Playback &playback, std::function<Form4 &()> form4);
    ~Playlist();

    // The file-type table: row 0 a caption, rows 1-10 ";"-separated wildcard patterns.
    static QStringList fileTypesTable();

    // Start-up: fill fileTypes and Combo2, choose row 10.
    void fillFileTypes();

    void Combo2_Click();
    void Dir1_change();
    void Drive1_Change();
    void SizeList(int16_t list);

    // Subdirectory scan and its commands (dir_scan.cpp)
    void DesSubs();
    void DirSearch(QString folder);
    void Command1_Click();
    void Command2_Click();
    void mnumoresub_Click();

    // Adding and subtracting folders' files (add_subtract.cpp)
    void Command4_Click();
    void Command5_Click();

    // Lookup, text search and dropped files (search_drop.cpp)
    // Index of the entry equal to search without regard to case, or -1.
    static int ListBoxFindString(const ListBox &ctrl, const QString &search);
    void Command6_Click();
    // Handles one drop whole: the paths in the order the source listed them.
    void WatchForFiles(const QStringList &paths);

    // Setting these controls from code runs their change handling, in that order.
    void setCombo2Index(int row);
    bool setDrive(const QString &drive);
    bool setDirPath(const QString &folder);

    // Puts the changes of a running pass into the playlist now (before the session is saved).
    void applyPendingEdits();

    // The scan and the passes hand the event loop a turn at least this often (ms); 0 means
    // at every entry, as tests that cancel mid-way need. Each turn repaints the window, so
    // turns come as often as the eye needs and no more.
    int yieldEveryMs = 50;
    // Off while the session is restored: the window is shown once, when the start is over, since
    // a window shown, hidden and shown again before the window manager answers may stay unmapped.
    bool showOnScan = true;
    // A search keeps what it saw of each folder left alone for this long (ms) before it was
    // read: any later change moves the folder's change time on, so a pass can tell.
    int listingMarginMs = 1000;

private:
    class Scan;
    // A folder as a search saw it: its identity and change time, and the names of its
    // visible regular files (each ended by a NUL, as the file system spells them).
    struct Listing {
        dev_t dev = 0;
        ino_t ino = 0;
        timespec changed{};
        QByteArray names;
    };
    // The files of folder matching pattern, as playlist entries: from the search's listing
    // while the folder is as the search saw it, read again otherwise.
    QStringList entriesOf(const QString &folder, const wildcard::Pattern &pattern) const;
    static int beyondReach(const QString &folder, const wildcard::Pattern &pattern);
    bool yieldDue() const;
    void yieldToEvents();
    // Files of one folder matching the file box's pattern, as playlist entries.
    QStringList folderEntries(const QString &folder) const;
    // The start of every add and subtract: earlier gathered changes applied, nothing to
    // advance or resume.
    PlaylistEdits &beginBulkEdit();
    // Points the file box at each folder in turn, handing the event loop a turn as due,
    // and gives each matching file's entry to use.
    // Counts in *beyond the matching files in folders too deep for the system to name,
    // which the scan cannot list.
    void passOver(const QStringList &folders, const std::function<void(const QString &)> &use, int *beyond = nullptr);
    // The playlist's gathered changes; applied before any other operation starts.
    PlaylistEdits &edits();

    Module1 &m;
    Form1 &f;
    Playback &playback;
    std::function<Form4 &()> form4;
    QElapsedTimer sinceYield;
    // Counts searches started; a search that sees a newer one has begun stops.
    quint64 searchGeneration = 0;
    // The last search's listings, by the folder's row in the subdirectory list.
    QHash<QString, Listing> listings;
    qsizetype listingBytes = 0;
    std::unique_ptr<PlaylistEdits> m_edits;
};
