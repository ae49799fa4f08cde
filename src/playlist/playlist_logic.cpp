#include "playlist/playlist_logic.h"

#include "base/numtext.h"
#include "state/session_file.h"

#include <QStringMatcher>

namespace plist {

bool acceptsDrop(const QString &path, const QStringList &fileTypes)
{
    // An empty name would be "found" in every row.
    if (path.isEmpty())
        return false;
    const QString tail = path.right(4);
    for (const QString &row : fileTypes)
        if (row.contains(tail, Qt::CaseSensitive))
            return true;
    return false;
}

QString searchWord(const QString &fieldText) { return fieldText.trimmed().toLower(); }

std::vector<int> searchHits(const QStringList &entries, const QString &word)
{
    std::vector<int> hits;
    // One folded skip table for the whole list: contains() would fold the word again for
    // every entry and compare character by character.
    const QStringMatcher matcher(word, Qt::CaseInsensitive);
    for (int i = 0; i < entries.size(); ++i)
        if (word.isEmpty() || matcher.indexIn(entries[i]) >= 0)
            hits.push_back(i);
    return hits;
}

void ScanProgress::folderDone()
{
    ++m_folders;
    if (m_folders % 2 == 0)
        m_dots += QLatin1Char('.');
    if (m_folders > 165) {
        m_dots.clear();
        m_folders = 0;
    }
}

Refusal refusalFor(const QString &entry, int entriesNow)
{
    if (!state::fitsRecord(entry))
        return Refusal::TooLong;
    if (entriesNow >= kMaxEntries)
        return Refusal::Full;
    return Refusal::None;
}

void Refused::count(Refusal r)
{
    if (r == Refusal::TooLong)
        ++tooLong;
    else if (r == Refusal::Full)
        ++full;
}

QString refusedText(const Refused &r)
{
    QString out;
    if (r.tooLong > 0)
        out += QStringLiteral("  *** Διαδρομή πάνω από 253 bytes - Path over 253 bytes, not added :")
            + numtext::N(r.tooLong) + QStringLiteral(" ***");
    if (r.full > 0)
        out += QStringLiteral("  *** Η λίστα είναι γεμάτη (32767) - The playlist is full (32767), not added :")
            + numtext::N(r.full) + QStringLiteral(" ***");
    return out;
}

} // namespace plist
