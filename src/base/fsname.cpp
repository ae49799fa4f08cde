#include "base/fsname.h"

#include <QUrl>
#include <QVarLengthArray>

namespace {
constexpr char16_t kHeldFirst = 0xDC80, kHeldLast = 0xDCFF;

bool held(const QString &s, qsizetype i)
{
    const char16_t u = s[i].unicode();
    return u >= kHeldFirst && u <= kHeldLast && (i == 0 || !s[i - 1].isHighSurrogate());
}

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when there is none;
// overlong forms, encoded surrogates and values past U+10FFFF are not valid.
int sequence(const unsigned char *p, qsizetype n, char32_t *cp)
{
    const unsigned char b = p[0];
    int len;
    char32_t v, least;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        len = 2, v = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, v = b & 0x0F, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, v = b & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (p[i] & 0x3F);
    }
    if (v < least || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    *cp = v;
    return len;
}
} // namespace

namespace fsname {

namespace {
// Writes the units of the bytes to o, which has room for one per byte; returns the end.
char16_t *decodeInto(char16_t *o, const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    for (qsizetype i = 0; i < size;) {
        if (p[i] < 0x80) {
            *o++ = p[i++];
            continue;
        }
        char32_t cp = 0;
        const int len = sequence(p + i, size - i, &cp);
        if (len == 0) {
            *o++ = char16_t(0xDC00 + p[i]);
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            *o++ = char16_t(cp);
        } else {
            *o++ = QChar::highSurrogate(cp);
            *o++ = QChar::lowSurrogate(cp);
        }
        i += len;
    }
    return o;
}
} // namespace

QString decode(const char *bytes, qsizetype size)
{
    // Decoded on the stack and kept at its own length: a name in Greek letters has half as
    // many units as bytes, and a playlist keeps tens of thousands of names.
    QVarLengthArray<char16_t, 512> units(size);
    const qsizetype n = decodeInto(units.data(), bytes, size) - units.constData();
    return QString(reinterpret_cast<const QChar *>(units.constData()), n);
}

void decodeOnto(QString &out, const char *bytes, qsizetype size)
{
    // Written through a pointer: a pass over a big tree decodes every name, and appending a
    // character at a time cost most of it.
    const qsizetype from = out.size();
    out.resize(from + size);
    char16_t *begin = reinterpret_cast<char16_t *>(out.data());
    out.truncate(decodeInto(begin + from, bytes, size) - begin);
}

QByteArray encode(const QString &name)
{
    // Written through a pointer into room for the longest result (3 bytes per UTF-16 unit):
    // a save encodes every playlist entry, and appending byte by byte cost most of it.
    QByteArray out(name.size() * 3, Qt::Uninitialized);
    char *o = out.data();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        char32_t cp = c.unicode();
        if (cp < 0x80) {
            *o++ = char(cp);
            continue;
        }
        if (held(name, i)) {
            *o++ = char(cp - 0xDC00);
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(c, name[++i]);
        } else if (c.isSurrogate()) {
            cp = 0xFFFD; // a lone surrogate of no byte: nothing names it on disk
        }
        if (cp < 0x800) {
            *o++ = char(0xC0 | (cp >> 6));
            *o++ = char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *o++ = char(0xE0 | (cp >> 12));
            *o++ = char(0x80 | ((cp >> 6) & 0x3F));
            *o++ = char(0x80 | (cp & 0x3F));
        } else {
            *o++ = char(0xF0 | (cp >> 18));
            *o++ = char(0x80 | ((cp >> 12) & 0x3F));
            *o++ = char(0x80 | ((cp >> 6) & 0x3F));
            *o++ = char(0x80 | (cp & 0x3F));
        }
    }
    out.truncate(o - out.constData());
    return out;
}

qsizetype encodedSize(const QString &name)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (u < 0x80 || held(name, i))
            bytes += 1;
        else if (u < 0x800)
            bytes += 2;
        else if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            bytes += 4, ++i;
        else
            bytes += 3;
    }
    return bytes;
}

QString shown(const QString &name)
{
    QString out = name;
    for (qsizetype i = 0; i < out.size(); ++i)
        if (held(name, i))
            out[i] = QChar(QChar::ReplacementCharacter);
    return out;
}

QString fromLocalUrl(const QUrl &url)
{
    if (!url.host().isEmpty())
        return url.toLocalFile(); // a network share: Qt's own form
    return decode(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace fsname
