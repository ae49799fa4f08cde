// Dropped names on any bytes: a text/uri-list as another program hands it over, turned into
// paths as the main window does, then the playlist's checks on each path.

#include "fuzz_target.h"
#include "playlist/playlist_logic.h"

#include <QMimeData>
#include <QUrl>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList types{QStringLiteral("Αρχεία - Files"), QStringLiteral("*.mp3"), QStringLiteral("*.wav"),
                                   QStringLiteral("*.avi")};
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    QStringList paths;
    for (const QUrl &url : mime.urls())
        paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    // Plain text dropped onto the search line takes the same road.
    paths.append(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    plist::Refused refused;
    for (const QString &p : paths) {
        const QString path = p.trimmed();
        if (!plist::acceptsDrop(path, types))
            continue;
        refused.count(plist::refusalFor(path, int(size % 40000)));
        plist::searchHits(QStringList{path}, plist::searchWord(path));
    }
    plist::refusedText(refused);
    return 0;
}
