#include "state/session_file.h"

#include "base/fsname.h"

#include <QBuffer>
#include <QtEndian>
#include <algorithm>

namespace state {

const char *Records::recordAt(int record) const
{
    const qsizetype start = qsizetype(record - 1) * kRecordSize;
    if (record < 1 || start + kRecordSize > m_bytes.size())
        return nullptr;
    return m_bytes.constData() + start;
}

int16_t Records::readInt(int record) const
{
    const char *r = recordAt(record);
    return r ? qFromLittleEndian<int16_t>(r) : int16_t(0);
}

std::optional<QString> Records::readString(int record) const
{
    // Read in place: a full playlist has 65 000 records.
    const char *r = recordAt(record);
    if (!r)
        return QString();
    const int16_t n = qFromLittleEndian<int16_t>(r);
    if (n < 0 || n > kMaxText)
        return std::nullopt;
    return fsname::decode(r + 2, n); // byte for byte, whatever the writer was
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

void Records::writeInt(int record, int16_t value) { qToLittleEndian<int16_t>(value, recordForWrite(record)); }

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

namespace {

// Fills records in order into a buffer of whole records and hands it on when full.
class RecordStream {
public:
    explicit RecordStream(QIODevice &out)
        : m_out(out)
    {
    }

    void putInt(int16_t value) { qToLittleEndian<int16_t>(value, next()); }
    void putString(const QString &text)
    {
        const QByteArray utf8 = fsname::encode(text);
        char *p = next();
        if (utf8.size() > kMaxText)
            return; // left as a zero-length string, never cut
        qToLittleEndian<int16_t>(int16_t(utf8.size()), p);
        std::copy(utf8.begin(), utf8.end(), p + 2);
    }
    bool finish()
    {
        flush();
        return m_ok;
    }

private:
    static constexpr int kBufferedRecords = 256; // 64 KiB: stays in cache

    char *next()
    {
        if (m_used == kBufferedRecords)
            flush();
        char *p = m_buffer + m_used++ * kRecordSize;
        std::fill(p, p + kRecordSize, '\0');
        return p;
    }
    void flush()
    {
        const qint64 size = qint64(m_used) * kRecordSize;
        if (m_ok && size > 0)
            m_ok = m_out.write(m_buffer, size) == size;
        m_used = 0;
    }

    QIODevice &m_out;
    char m_buffer[kBufferedRecords * kRecordSize];
    int m_used = 0;
    bool m_ok = true;
};

} // namespace

bool encodeTo(QIODevice &out, const Snapshot &s)
{
    RecordStream r(out);
    const int n = int(std::min<qsizetype>(s.entries.size(), 32767)) - 1;
    r.putString(s.drive);
    r.putString(s.folder);
    r.putInt(s.lastIndex);
    r.putInt(s.resumePos);
    r.putString(s.currentEntry);
    r.putInt(s.volume);
    r.putInt(s.shuffleOn);
    r.putInt(s.previewOn);
    r.putInt(s.previewSecs);
    r.putInt(int16_t(n));
    for (int i = 0; i <= n; ++i)
        r.putInt(size_t(i) < s.playedMarks.size() ? s.playedMarks[size_t(i)] : int16_t(0));
    r.putInt(s.subdirsOn);
    r.putInt(s.selectAll);
    r.putInt(s.replayMode);
    for (int i = 0; i <= n; ++i)
        r.putString(s.entries[i]);
    r.putInt(s.videoMode);
    return r.finish();
}

Decoded decode(const QByteArray &bytes)
{
    const Records r(bytes);
    Decoded d;
    Snapshot &s = d.snapshot;
    s.drive = r.readString(1).value_or(QString());
    s.folder = r.readString(2).value_or(QString());
    s.lastIndex = std::max<int16_t>(r.readInt(3), -1);
    s.resumePos = std::max<int16_t>(r.readInt(4), 0);
    s.currentEntry = r.readString(5).value_or(QString());
    s.volume = r.readInt(6);
    s.shuffleOn = r.readInt(7);
    s.previewOn = r.readInt(8);
    s.previewSecs = r.readInt(9);
    const int n = r.readInt(10);
    d.lastSaved = n;
    // Anything but 0 counts as played.
    if (n >= 0)
        s.playedMarks.resize(size_t(n) + 1, 0);
    for (int i = 0; i <= n; ++i)
        s.playedMarks[size_t(i)] = r.readInt(marksRecord(i)) != 0 ? int16_t(-1) : int16_t(0);
    s.subdirsOn = r.readInt(subdirsRecord(n));
    s.selectAll = r.readInt(selectAllRecord(n));
    s.replayMode = r.readInt(replayRecord(n));
    for (int i = 0; i <= n; ++i) {
        const auto text = r.readString(entryRecord(n, i));
        if (text && !text->isEmpty() && *text != QLatin1String(" ")) {
            s.entries.append(*text);
            d.savedAt.push_back(i);
        }
    }
    s.videoMode = r.readInt(videoRecord(n));
    return d;
}

qint64 usefulSize(const QByteArray &head)
{
    const int16_t n = Records(head).readInt(10);
    return qint64(std::clamp(videoRecord(n), 16, kMaxRecords)) * kRecordSize;
}

QByteArray encode(const Snapshot &s)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    encodeTo(buffer, s);
    return bytes;
}

} // namespace state
