#pragma once
// File names as the file system's bytes. Names need not be UTF-8 (old archives in
// Windows-1253 or Latin-1): each byte that is not part of valid UTF-8 travels inside the
// text as U+DC80 + byte and becomes the same byte again wherever the name goes back to the
// file system, the player or the session file. Valid UTF-8 reads as itself.

#include <QByteArray>
#include <QString>

class QUrl;

namespace fsname {

QString decode(const char *bytes, qsizetype size);
// Appends the decoded bytes to out.
void decodeOnto(QString &out, const char *bytes, qsizetype size);
inline QString decode(const QByteArray &bytes) { return decode(bytes.constData(), bytes.size()); }
QByteArray encode(const QString &name);
// Bytes that encode(name) gives, without building them.
qsizetype encodedSize(const QString &name);
// A dropped file's URL as a name: its percent-encoded bytes, not Qt's UTF-8 reading of them.
QString fromLocalUrl(const QUrl &url);
// The name for the eye: each held byte shows as U+FFFD.
QString shown(const QString &name);

} // namespace fsname
