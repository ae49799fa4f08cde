#include "tags/id3v1.h"

#include "base/fsdelay.h"
#include "base/fsname.h"
#include "base/fsprobe.h"

#include <QFile>
#include <QHash>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace id3v1 {
namespace {

// iconv_open reports failure as the pointer (iconv_t)-1.
bool opened(iconv_t cd)
{
    return cd != iconv_t(-1); // NOLINT(performance-no-int-to-ptr)
}

// Byte to character and back, built once from iconv's own table.
struct CodePage {
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, unsigned char> fromUnicode;

    CodePage()
    {
        iconv_t cd = ::iconv_open("UTF-16LE", "CP1253");
        for (int b = 0; b < 256; ++b) {
            char16_t u = b < 0x80 ? char16_t(b) : u'\uFFFD';
            if (b >= 0x80 && opened(cd)) {
                char in = char(b);
                char out[4];
                char *ip = &in, *op = out;
                size_t il = 1, ol = sizeof out;
                if (::iconv(cd, &ip, &il, &op, &ol) != size_t(-1) && ol == 2)
                    u = char16_t(uchar(out[0]) | (uchar(out[1]) << 8));
            }
            toUnicode[size_t(b)] = u;
            if (u != u'\uFFFD')
                fromUnicode.insert(u, uchar(b));
        }
        if (opened(cd))
            ::iconv_close(cd);
    }
};

const CodePage &codePage()
{
    static const CodePage cp;
    return cp;
}

// Moves all n bytes with pread or pwrite, through short transfers and interruptions.
template <typename Buf, typename Io> bool transferAll(Io io, int fd, Buf *buf, size_t n, off_t at)
{
    while (n > 0) {
        const ssize_t r = io(fd, buf, n, at);
        if (r <= 0) {
            if (r < 0 && errno == EINTR)
                continue;
            return false;
        }
        buf += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}

bool preadAll(int fd, char *buf, size_t n, off_t at) { return transferAll(::pread, fd, buf, n, at); }

bool pwriteAll(int fd, const char *buf, size_t n, off_t at) { return transferAll(::pwrite, fd, buf, n, at); }

// Writes bytes at `at` and reads them back; on failure the old bytes go back in.
bool writeVerified(int fd, const QByteArray &bytes, off_t at, const QByteArray &old)
{
    QByteArray check(bytes.size(), '\0');
    if (pwriteAll(fd, bytes.constData(), size_t(bytes.size()), at) && ::fsync(fd) == 0
        && preadAll(fd, check.data(), size_t(check.size()), at) && check == bytes)
        return true;
    if (!old.isEmpty())
        pwriteAll(fd, old.constData(), size_t(old.size()), at);
    return false;
}

} // namespace

QString fromCp1253(const QByteArray &bytes)
{
    const CodePage &cp = codePage();
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(cp.toUnicode[uchar(bytes[i])]);
    return out;
}

QByteArray toCp1253(const QString &text)
{
    const CodePage &cp = codePage();
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        out.append(char(u < 0x80 ? uchar(u) : cp.fromUnicode.value(u, uchar('?'))));
    }
    return out;
}

QString fitField(const QString &text, int width) { return text.left(width).leftJustified(width, QLatin1Char(' ')); }

QString shownText(const QString &field)
{
    QString t = field.left(field.indexOf(QChar(u'\0')));
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    return t;
}

// Rows 0-8 keep their digit characters. Rows 9-38 go to 192-221, where no genre number of
// the common extended list (0-191) nor the usual "none" (255) lies, so that a file tagged by
// another program never shows one of them by mistake.
constexpr int kHighRowBase = 192 - 9;

int genreRowFromByte(unsigned char byte)
{
    if (byte >= '1' && byte <= '9')
        return byte - '1';
    if (byte >= 192 && byte <= 221)
        return byte - kHighRowBase;
    return -1;
}

unsigned char genreByteForRow(int row)
{
    if (row >= 0 && row <= 8)
        return uchar('1' + row);
    if (row >= 9 && row <= 38)
        return uchar(row + kHighRowBase);
    return kNoGenre;
}

std::optional<Fields> decode(const QByteArray &record)
{
    if (record.size() != kSize || !record.startsWith("TAG"))
        return std::nullopt;
    Fields f;
    f.title = fromCp1253(record.mid(3, kTitle));
    f.artist = fromCp1253(record.mid(33, kArtist));
    f.album = fromCp1253(record.mid(63, kAlbum));
    f.year = fromCp1253(record.mid(93, kYear));
    f.comment = fromCp1253(record.mid(97, kComment));
    f.genreRow = genreRowFromByte(uchar(record[127]));
    return f;
}

QByteArray encode(const Fields &f)
{
    QByteArray r("TAG");
    r += toCp1253(fitField(f.title, kTitle));
    r += toCp1253(fitField(f.artist, kArtist));
    r += toCp1253(fitField(f.album, kAlbum));
    r += toCp1253(fitField(f.year, kYear));
    r += toCp1253(fitField(f.comment, kComment));
    r += char(genreByteForRow(f.genreRow));
    return r;
}

std::optional<Fields> readFile(const QString &path)
{
    const QByteArray name = fsname::encode(path);
    fsdelay::wait(name);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st { };
    QByteArray record(kSize, '\0');
    // Only regular files: a pipe or a device would block or never end.
    const bool ok = fsprobe::kindOfOpen(fd, &st) == fsprobe::Kind::Regular && st.st_size >= kSize
        && preadAll(fd, record.data(), kSize, st.st_size - kSize);
    ::close(fd);
    return ok ? decode(record) : std::nullopt;
}

Saved writeFile(const QString &path, const Fields &fields)
{
    const int fd = ::open(fsname::encode(path).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fsprobe::kindOf(path) == fsprobe::Kind::Other ? Saved::NotAFile : Saved::NotWritable;
    struct stat st { };
    if (fsprobe::kindOfOpen(fd, &st) != fsprobe::Kind::Regular) {
        ::close(fd);
        return Saved::NotAFile;
    }
    const off_t length = st.st_size;
    const QByteArray record = encode(fields);

    QByteArray old(kSize, '\0');
    const bool hasRecord = length >= kSize && preadAll(fd, old.data(), kSize, length - kSize) && old.startsWith("TAG");
    Saved result;
    if (hasRecord) {
        // Without a chosen genre the file's own genre byte stays.
        const int n = fields.genreRow >= 0 ? kSize : kSize - 1;
        result = writeVerified(fd, record.left(n), length - kSize, old.left(n)) ? Saved::Updated : Saved::Failed;
    } else {
        struct statvfs vfs { };
        if (::fstatvfs(fd, &vfs) == 0 && vfs.f_bavail * vfs.f_frsize < unsigned(2 * kSize)) {
            result = Saved::NoSpace;
        } else if (writeVerified(fd, record, length, QByteArray())) {
            result = Saved::Appended;
        } else {
            const int err = errno;
            // A part-written record comes off again: the file is as it was.
            if (::ftruncate(fd, length) != 0) { /* nothing more can be done */
            }
            result = err == ENOSPC ? Saved::NoSpace : Saved::Failed;
        }
    }
    ::close(fd);
    return result;
}

} // namespace id3v1
