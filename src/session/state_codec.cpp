#include "session/state_codec.h"

#include "session/fsname.h"

#include <QtEndian>

namespace state {

QByteArray Records::recordBytes(int record) const
{
    const qsizetype start = qsizetype(record - 1) * kRecordSize;
    if (record < 1 || start + kRecordSize > m_bytes.size())
        return {};
    return m_bytes.mid(start, kRecordSize);
}

int16_t Records::readInt(int record) const
{
    const QByteArray r = recordBytes(record);
    return r.isEmpty() ? int16_t(0) : qFromLittleEndian<int16_t>(r.constData());
}

std::optional<QString> Records::readString(int record) const
{
    const QByteArray r = recordBytes(record);
    if (r.isEmpty())
        return QString();
    const int16_t n = qFromLittleEndian<int16_t>(r.constData());
    if (n < 0 || n > kMaxText)
        return std::nullopt;
    return fsname::decode(r.constData() + 2, n); // byte for byte, whatever the writer was
}

char *Records::recordForWrite(int record)
{
    const qsizetype end = qsizetype(record) * kRecordSize;
    if (m_bytes.size() < end)
        m_bytes.append(end - m_bytes.size(), '\0');
    char *p = m_bytes.data() + end - kRecordSize;
    std::fill(p, p + kRecordSize, '\0');
    return p;
}

void Records::writeInt(int record, int16_t value)
{
    qToLittleEndian<int16_t>(value, recordForWrite(record));
}

bool fitsRecord(const QString &text)
{
    // Counted without converting: called for every file a pass adds.
    return fsname::encodedSize(text) <= kMaxText;
}

bool Records::writeString(int record, const QString &text)
{
    const QByteArray utf8 = fsname::encode(text);
    char *p = recordForWrite(record);
    if (utf8.size() > kMaxText)
        return false; // left as a zero-length string
    qToLittleEndian<int16_t>(int16_t(utf8.size()), p);
    std::copy(utf8.begin(), utf8.end(), p + 2);
    return true;
}

QByteArray encode(const Snapshot &s)
{
    Records r;
    const int n = int(std::min<qsizetype>(s.entries.size(), 32767)) - 1;
    r.writeString(1, s.drive);
    r.writeString(2, s.folder);
    r.writeInt(3, s.lastIndex);
    r.writeInt(4, s.resumePos);
    r.writeString(5, s.currentEntry);
    r.writeInt(6, s.volume);
    r.writeInt(7, s.shuffleOn);
    r.writeInt(8, s.previewOn);
    r.writeInt(9, s.previewSecs);
    r.writeInt(10, int16_t(n));
    for (int i = 0; i <= n; ++i)
        r.writeInt(marksRecord(i), size_t(i) < s.playedMarks.size() ? s.playedMarks[size_t(i)] : int16_t(0));
    r.writeInt(subdirsRecord(n), s.subdirsOn);
    r.writeInt(selectAllRecord(n), s.selectAll);
    r.writeInt(replayRecord(n), s.replayMode);
    for (int i = 0; i <= n; ++i)
        r.writeString(entryRecord(n, i), s.entries[i]);
    r.writeInt(videoRecord(n), s.videoMode);
    return r.bytes();
}

} // namespace state
