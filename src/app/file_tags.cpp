#include "app/file_tags.h"

#include "base/fsname.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace file_tags {

namespace {
QString entry(const AVDictionary *dict, const char *key)
{
    const AVDictionaryEntry *e = av_dict_get(dict, key, nullptr, 0);
    return e ? QString::fromUtf8(e->value).trimmed() : QString();
}

void fill(QString &field, const AVDictionary *dict, const char *key)
{
    if (field.isEmpty())
        field = entry(dict, key);
}
} // namespace

Tags read(const QString &path)
{
    Tags tags;
    AVFormatContext *ctx = nullptr;
    if (avformat_open_input(&ctx, fsname::encode(path).constData(), nullptr, nullptr) < 0)
        return tags;
    // Ogg and FLAC keep their comments on the stream, the others on the container.
    for (int pass = -1; pass < int(ctx->nb_streams); ++pass) {
        const AVStream *st = pass < 0 ? nullptr : ctx->streams[pass];
        const AVDictionary *dict = st ? st->metadata : ctx->metadata;
        fill(tags.title, dict, "title");
        fill(tags.artist, dict, "artist");
        fill(tags.album, dict, "album");
        if (st && (st->disposition & AV_DISPOSITION_ATTACHED_PIC) && tags.picture.isEmpty()
            && st->attached_pic.size > 0)
            tags.picture = QByteArray(reinterpret_cast<const char *>(st->attached_pic.data), st->attached_pic.size);
    }
    avformat_close_input(&ctx);
    return tags;
}

QString coverBeside(const QString &path)
{
    const QDir dir = QFileInfo(path).dir();
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QString lower = name.toLower();
        if (lower == QLatin1String("cover.jpg") || lower == QLatin1String("folder.jpg"))
            return dir.filePath(name);
    }
    return {};
}

QString cachedPicture(const QByteArray &picture, const QString &cacheDir)
{
    if (picture.isEmpty())
        return {};
    const bool png = picture.startsWith("\x89PNG");
    QString file = cacheDir + QLatin1Char('/')
        + QString::fromLatin1(QCryptographicHash::hash(picture, QCryptographicHash::Sha1).toHex())
        + (png ? QStringLiteral(".png") : QStringLiteral(".jpg"));
    if (QFileInfo::exists(file))
        return file;
    QDir().mkpath(cacheDir);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(picture) != picture.size() || !out.commit())
        return {};
    return file;
}

} // namespace file_tags
