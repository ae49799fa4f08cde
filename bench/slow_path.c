// LD_PRELOAD shim: every path call (open, stat, access) on a name ending in SLOW_NAME waits
// SLOW_MS first, as on a dying disk or a hung mount. Such calls, and every call on a name
// ending in WATCH_NAME, are logged to SLOW_LOG with their time and the calling thread.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int endsWith(const char *path, const char *tail)
{
    if (!path || !tail || !*tail)
        return 0;
    size_t n = strlen(path), m = strlen(tail);
    return n >= m && strcmp(path + n - m, tail) == 0;
}

static void note(const char *what, const char *path)
{
    const char *log = getenv("SLOW_LOG");
    if (!log)
        return;
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    int (*realOpen)(const char *, int, ...) = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
    int fd = realOpen(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char thread[17] = {0};
    prctl(PR_GET_NAME, thread);
    for (char *c = thread; *c; ++c)
        if (*c == ' ')
            *c = '_';
    dprintf(fd, "%ld.%09ld %s %s%s %s\n", (long)t.tv_sec, t.tv_nsec, what, thread, gettid() == getpid() ? "(main)" : "",
            path);
    close(fd);
}

static void slow(const char *what, const char *path)
{
    if (endsWith(path, getenv("WATCH_NAME")))
        note("watch", path);
    if (!endsWith(path, getenv("SLOW_NAME")))
        return;
    note(what, path);
    const char *ms = getenv("SLOW_MS");
    long v = ms ? atol(ms) : 2000;
    struct timespec d = {v / 1000, (v % 1000) * 1000000};
    nanosleep(&d, NULL);
}

#define NEXT(name)                                                                                                     \
    static __typeof__(&name) real_##name;                                                                              \
    if (!real_##name)                                                                                                  \
    real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

#define OPENLIKE(name)                                                                                                 \
    int name(const char *p, int flags, ...)                                                                            \
    {                                                                                                                  \
        NEXT(name);                                                                                                    \
        va_list ap;                                                                                                    \
        va_start(ap, flags);                                                                                           \
        mode_t mode = va_arg(ap, mode_t);                                                                              \
        va_end(ap);                                                                                                    \
        slow(#name, p);                                                                                                \
        return real_##name(p, flags, mode);                                                                            \
    }
OPENLIKE(open)
OPENLIKE(open64)

#define OPENATLIKE(name)                                                                                               \
    int name(int dir, const char *p, int flags, ...)                                                                   \
    {                                                                                                                  \
        NEXT(name);                                                                                                    \
        va_list ap;                                                                                                    \
        va_start(ap, flags);                                                                                           \
        mode_t mode = va_arg(ap, mode_t);                                                                              \
        va_end(ap);                                                                                                    \
        slow(#name, p);                                                                                                \
        return real_##name(dir, p, flags, mode);                                                                       \
    }
OPENATLIKE(openat)
OPENATLIKE(openat64)

int __open_2(const char *p, int flags) { return open(p, flags); }
int __open64_2(const char *p, int flags) { return open(p, flags); }
int __openat_2(int dir, const char *p, int flags) { return openat(dir, p, flags); }
int __openat64_2(int dir, const char *p, int flags) { return openat(dir, p, flags); }

#define PATHCALL(name, ret, params, args)                                                                              \
    ret name params                                                                                                    \
    {                                                                                                                  \
        NEXT(name);                                                                                                    \
        slow(#name, p);                                                                                                \
        return real_##name args;                                                                                       \
    }
PATHCALL(stat, int, (const char *p, struct stat *s), (p, s))
PATHCALL(stat64, int, (const char *p, struct stat64 *s), (p, s))
PATHCALL(lstat, int, (const char *p, struct stat *s), (p, s))
PATHCALL(lstat64, int, (const char *p, struct stat64 *s), (p, s))
PATHCALL(fstatat, int, (int d, const char *p, struct stat *s, int f), (d, p, s, f))
PATHCALL(fstatat64, int, (int d, const char *p, struct stat64 *s, int f), (d, p, s, f))
PATHCALL(statx, int, (int d, const char *p, int f, unsigned m, struct statx *s), (d, p, f, m, s))
PATHCALL(access, int, (const char *p, int m), (p, m))
PATHCALL(faccessat, int, (int d, const char *p, int m, int f), (d, p, m, f))
PATHCALL(fopen, FILE *, (const char *p, const char *m), (p, m))
PATHCALL(fopen64, FILE *, (const char *p, const char *m), (p, m))
