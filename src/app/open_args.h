#pragma once
// Files handed to the program at its start ("Open with", a second start, MPRIS OpenUri),
// turned into what the drop road takes.

#include <QString>
#include <QStringList>

namespace open_args {

// file:// URIs and relative paths become absolute local names; URIs of other schemes stay
// as given, so the drop road reports them as it reports such a drop.
QStringList localPaths(const QStringList &args, const QString &cwd);
// A folder gives the files under it, in name order; every other entry stays where it is.
QStringList withFolderFiles(const QStringList &paths);

} // namespace open_args
