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

namespace {
// Of a record's first byte, or null past the end of the file.
int16_t intAt(const char *r) { return r ? qFromLittleEndian<int16_t>(r) : int16_t(0); }
std::optional<QString> stringAt(const char *r)
{
    if (!r)
        return QString();
    const int16_t n = qFromLittleEndian<int16_t>(r);
    if (n < 0 || n > kMaxText)
        return std::nullopt;
    return fsname::decode(r + 2, n); // byte for byte, whatever the writer was
}
} // namespace

int16_t Records::readInt(int record) const { return intAt(recordAt(record)); }

// Read in place: a full playlist has 65 000 records.
std::optional<QString> Records::readString(int record) const { return stringAt(recordAt(record)); }

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

namespace {

// A file's records read a window at a time, as decode() walks them (forwards, but for
// the records of a damaged length): a full playlist's 16 MB file is never held whole.
class RecordWindow {
public:
    explicit RecordWindow(QIODevice &in)
        : m_in(in)
    {
    }
    int16_t readInt(int record) { return intAt(at(record)); }
    std::optional<QString> readString(int record) { return stringAt(at(record)); }

private:
    static constexpr int kWindowRecords = 256;

    const char *at(int record)
    {
        if (record < 1 || record > kMaxRecords)
            return nullptr;
        if (record < m_first || record >= m_first + m_count)
            fill(record);
        return record < m_first + m_count ? m_buffer.data() + qsizetype(record - m_first) * kRecordSize : nullptr;
    }
    void fill(int record)
    {
        const qint64 start = qint64(record - 1) * kRecordSize;
        m_first = record;
        m_count = 0;
        // Past a known end nothing is read again: a damaged length may ask for 65 000 records.
        if ((m_end >= 0 && start + kRecordSize > m_end) || (m_in.pos() != start && !m_in.seek(start)))
            return;
        m_buffer.resize(qsizetype(kWindowRecords) * kRecordSize);
        qint64 got = 0;
        while (got < m_buffer.size()) {
            const qint64 n = m_in.read(m_buffer.data() + got, m_buffer.size() - got);
            if (n <= 0)
                break;
            got += n;
        }
        if (got < m_buffer.size())
            m_end = start + got;
        m_count = int(got / kRecordSize);
    }

    QIODevice &m_in;
    QByteArray m_buffer;
    int m_first = 0;
    int m_count = 0;
    qint64 m_end = -1;
};

} // namespace

Decoded decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer);
}

Decoded decode(QIODevice &in)
{
    RecordWindow r(in);
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
    // Grown once: a list of 32 767 doubled in steps would hold two arrays at its peak.
    s.entries.reserve(n + 1);
    d.savedAt.reserve(size_t(std::max(n + 1, 0)));
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

QByteArray encode(const Snapshot &s)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    encodeTo(buffer, s);
    return bytes;
}

} // namespace state
