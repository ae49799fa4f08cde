#include "app/open_args.h"

#include "base/fsname.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

namespace open_args {

QStringList localPaths(const QStringList &args, const QString &cwd)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    QStringList out;
    out.reserve(args.size());
    for (const QString &arg : args) {
        if (arg.isEmpty())
            continue;
        if (scheme.match(arg).hasMatch()) {
            const QUrl url(arg);
            out.append(url.isLocalFile() ? fsname::fromLocalUrl(url) : arg);
        } else {
            out.append(QDir::cleanPath(QDir::isAbsolutePath(arg) ? arg : QDir(cwd).filePath(arg)));
        }
    }
    return out;
}

QStringList withFolderFiles(const QStringList &paths)
{
    QStringList out;
    for (const QString &path : paths) {
        if (!QFileInfo(path).isDir()) {
            out.append(path);
            continue;
        }
        QStringList files;
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        std::sort(files.begin(), files.end());
        out += files;
    }
    return out;
}

} // namespace open_args
