#pragma once
// Decisions of the playlist commands that need no window: which dropped paths are taken,
// which entries a search word hits, the scan's progress dots, and which new entries the
// session file can hold.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace plist {

// A dropped path is taken when its last four characters occur, with the same case, inside
// one of the file-type rows (row 0, the caption, included).
bool acceptsDrop(const QString &path, const QStringList &fileTypes);

// Indexes of the entries whose text contains word without regard to case; the word is
// trimmed and an empty word hits every entry.
QString searchWord(const QString &fieldText);
std::vector<int> searchHits(const QStringList &entries, const QString &word);

// The dot string of a running scan: one more dot every second folder, emptied after 165.
class ScanProgress {
public:
    void folderDone();
    const QString &dots() const { return m_dots; }

private:
    int m_folders = 0;
    QString m_dots;
};

// The most entries the playlist holds: its indexes are 16-bit.
constexpr int kMaxEntries = 32767;

// Why an entry was not added.
enum class Refusal { None, TooLong, Full };
// An entry is refused when the session file could not hold it or the list is full.
Refusal refusalFor(const QString &entry, int entriesNow);

// The counts of refused entries, reported after an operation.
struct Refused {
    int tooLong = 0;
    int full = 0;
    void count(Refusal r);
    bool any() const { return tooLong + full > 0; }
};
// The report appended to an operation's count line; "" when nothing was refused.
QString refusedText(const Refused &r);

} // namespace plist
