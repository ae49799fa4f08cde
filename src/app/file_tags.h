#pragma once
// A media file's own tags (ID3v2, Vorbis comments, MP4 atoms and the like) and its cover
// picture, for the desktop's media widgets.

#include <QByteArray>
#include <QString>

namespace file_tags {

struct Tags {
    QString title, artist, album;
    // The embedded cover as stored (JPEG or PNG), empty when there is none.
    QByteArray picture;
};

Tags read(const QString &path);
// A cover.jpg or folder.jpg beside the file (any letter case), empty when there is none.
QString coverBeside(const QString &path);
// The embedded picture under cacheDir, written the first time only; empty when it cannot be.
QString cachedPicture(const QByteArray &picture, const QString &cacheDir);

} // namespace file_tags
