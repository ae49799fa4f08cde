#include "base/fsprobe.h"

#include "base/fsdelay.h"

#include <sys/stat.h>

namespace fsprobe {

namespace {
Kind kindFrom(bool found, const struct stat &s, struct stat *out)
{
    if (!found)
        return Kind::Missing;
    if (out)
        *out = s;
    return S_ISREG(s.st_mode) ? Kind::Regular : Kind::Other;
}
} // namespace

Kind kindOf(const QByteArray &bytes, struct stat *st)
{
    fsdelay::wait(bytes);
    struct stat s { };
    return kindFrom(::stat(bytes.constData(), &s) == 0, s, st);
}

Kind kindOfOpen(int fd, struct stat *st)
{
    struct stat s { };
    return kindFrom(::fstat(fd, &s) == 0, s, st);
}

} // namespace fsprobe
