#pragma once
// What a file name names, asked of the file system without opening it: a FIFO or a device
// would block an open or never end, so the kind comes from stat() on the name's bytes.

#include "base/fsname.h"

#include <QByteArray>
#include <QString>

struct stat;

namespace fsprobe {

enum class Kind { Missing, Regular, Other };

// st, when given, receives what stat() said (only when the name exists).
Kind kindOf(const QByteArray &bytes, struct stat *st = nullptr);
inline Kind kindOf(const QString &name) { return kindOf(fsname::encode(name)); }
// The same for an open descriptor (fstat).
Kind kindOfOpen(int fd, struct stat *st = nullptr);

inline bool isRegular(const QByteArray &bytes) { return kindOf(bytes) == Kind::Regular; }
inline bool isRegular(const QString &name) { return kindOf(name) == Kind::Regular; }
inline bool exists(const QString &name) { return kindOf(name) != Kind::Missing; }

} // namespace fsprobe
