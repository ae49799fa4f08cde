// The subdirectory list: a breadth-first scan of the current folder's tree on the window
// thread, handing the event loop a turn as it goes, and the commands around it.

#include "playlist/playlist.h"

#include "base/fsname.h"
#include "base/numtext.h"
#include "playlist/playlist_logic.h"
#include "playlist/wildcard.h"
#include "state/module1.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <set>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace {

using FolderId = std::pair<dev_t, ino_t>;

// Kernel file systems mounted inside a tree (/proc, /sys and their like): thousands of
// folders and no media, and /proc's links lead everywhere.
bool kernelFileSystem(const QByteArray &path)
{
    struct statfs fs { };
    if (::statfs(path.constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    default:
        return false;
    }
}

// File systems that move a folder's change time on whenever its entries change, whatever
// changed them; a network or user-space one may show a stale time.
bool localFileSystem(int fd)
{
    struct statfs fs { };
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

qint64 nanoseconds(const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; }

// The names a search keeps, at most, for the passes after it.
constexpr qsizetype kListingBytes = 8 << 20;

// The folder behind name in the folder open as at, whose path is dir (following links);
// false when it is not one or is not worth listing. A folder on another device than its
// parent is a mount point and is looked at.
bool folderId(int at, const QByteArray &dir, const char *name, dev_t parentDev, FolderId *id)
{
    struct stat st { };
    // Looked up from the open folder: no walk down the whole path for each entry.
    if (::fstatat(at, *name ? name : dir.constData(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_dev != parentDev && kernelFileSystem(dir + name))
        return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

// A link to a folder inside the tree being scanned: the scan reaches that folder under its
// real path, and the link must not take its row, whichever of the two readdir lists first.
bool linkIntoTree(const QByteArray &path, unsigned char type, const QByteArray &treeReal)
{
    if (type != DT_LNK) {
        struct stat st { };
        if (type != DT_UNKNOWN || ::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return false;
    }
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        return false;
    const QByteArray target(real);
    ::free(real);
    return target == treeReal || target.startsWith(treeReal.endsWith('/') ? treeReal : treeReal + '/');
}

// Matching files in the tree of the open folder fd, which closes.
int countMatching(int fd, const wildcard::Pattern &pattern, int depth)
{
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return 0;
    }
    int n = 0;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st { };
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode) && depth < 256) {
            const int sub = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                n += countMatching(sub, pattern, depth + 1);
        } else if (S_ISREG(st.st_mode)
                   && pattern.matches(fsname::decode(e->d_name, qsizetype(std::strlen(e->d_name))))) {
            ++n;
        }
    }
    ::closedir(d);
    return n;
}

} // namespace

QStringList Playlist::entriesOf(const QString &folder, const wildcard::Pattern &pattern) const
{
    const auto seen = listings.constFind(folder);
    struct stat st { };
    if (seen == listings.cend() || ::stat(fsname::encode(folder).constData(), &st) != 0 || st.st_dev != seen->dev
        || st.st_ino != seen->ino || nanoseconds(st.st_ctim) != nanoseconds(seen->changed)) {
        QStringList out = wildcard::matchingFilesUnsorted(folder, pattern);
        for (QString &name : out)
            name = wildcard::joinPath(folder, name);
        return out;
    }
    // Each entry is decoded straight after its folder: one string per file, not a name and
    // then its path.
    const QString prefix = wildcard::joinPath(folder, QString());
    QStringList out;
    for (qsizetype at = 0; at < seen->names.size();) {
        const char *name = seen->names.constData() + at;
        const auto size = qsizetype(std::strlen(name));
        QString entry;
        entry.reserve(prefix.size() + size);
        entry.append(prefix);
        fsname::decodeOnto(entry, name, size);
        if (pattern.matches(QStringView(entry).sliced(prefix.size())))
            out.append(std::move(entry));
        at += size + 1;
    }
    return out;
}

// Only a folder within a name's length of PATH_MAX can hold folders past it; the rest
// cost nothing.
int Playlist::beyondReach(const QString &folder, const wildcard::Pattern &pattern)
{
    const QByteArray dir = fsname::encode(wildcard::joinPath(folder, QString()));
    if (dir.size() + NAME_MAX < PATH_MAX)
        return 0;
    DIR *d = ::opendir(dir.constData());
    if (!d)
        return 0;
    int n = 0;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.' || dir.size() + qsizetype(std::strlen(e->d_name)) < PATH_MAX)
            continue;
        // Reached from here by its name alone: its full path is too long to open.
        const int sub = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0)
            n += countMatching(sub, pattern, 0);
    }
    ::closedir(d);
    return n;
}

bool Playlist::yieldDue() const
{
    return yieldEveryMs <= 0 || !sinceYield.isValid() || sinceYield.elapsed() >= yieldEveryMs;
}

void Playlist::yieldToEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceYield.start();
}

void Playlist::DesSubs()
{
    if (m.folderChanged == kOff || m.subdirsOn != kOn)
        return;
    if (showOnScan)
        f.show();
    f.List1->clear();
    // Cleared first: a folder change while the option is switched off mid-scan keeps it due.
    m.folderChanged = kOff;
    DirSearch(f.Dir1->path());
}

// One subdirectory search: the folders still to list, the rows found but not yet put into
// the list, and the progress texts.
class Playlist::Scan {
public:
    Scan(Playlist &pl, const QString &folder);
    // Lists the next folder; false when the search is over (done, cancelled or overtaken).
    bool listNext();
    // Puts the last rows into the list, while this is still the newest search.
    void finish();

private:
    void addIfFolder(const QString &dir, const QByteArray &dirBytes, int dirFd, dev_t dirDev, const dirent &e);
    bool turn();
    void showProgress();

    Playlist &pl;
    const quint64 me;
    QByteArray treeReal;
    // Every folder is listed once however many links lead to it, so link cycles end.
    std::set<FolderId> seen;
    // Folders to list, with the device each lies on.
    std::deque<std::pair<QString, dev_t>> queue;
    QStringList found;
    int foundCount = 0;
    plist::ScanProgress progress;
    // The progress texts as of the last finished folder; shown when the event loop next
    // paints, so they are set only then.
    QString progressText, caption;
    QElapsedTimer sinceRows;
};

Playlist::Scan::Scan(Playlist &pl, const QString &folder)
    : pl(pl)
    , me(++pl.searchGeneration)
    , found{folder}
{
    pl.listings.clear();
    pl.listingBytes = 0;
    if (char *real = ::realpath(fsname::encode(folder).constData(), nullptr)) {
        treeReal = real;
        ::free(real);
    }
    FolderId id{dev_t(-1), 0};
    if (folderId(AT_FDCWD, fsname::encode(folder), "", dev_t(-1), &id))
        seen.insert(id);
    queue.emplace_back(folder, id.first);
    sinceRows.start();
}

bool Playlist::Scan::listNext()
{
    if (queue.empty())
        return false;
    const auto [dir, dirDev] = queue.front();
    queue.pop_front();
    const QByteArray dirBytes = fsname::encode(dir);
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME, &began);
    // A folder that cannot be listed (gone, no permission) is passed over.
    if (DIR *d = ::opendir(dirBytes.constData())) {
        // Its files are kept for the passes when it was left alone long enough before now.
        struct stat st { };
        bool keep = ::fstat(::dirfd(d), &st) == 0
            && nanoseconds(st.st_ctim) + qint64(pl.listingMarginMs) * 1000000 < nanoseconds(began)
            && localFileSystem(::dirfd(d));
        QByteArray files;
        bool going = true;
        while (const dirent *e = ::readdir(d)) {
            // Hidden names, "." and ".." included.
            if (e->d_name[0] != '.') {
                addIfFolder(dir, dirBytes, ::dirfd(d), dirDev, *e);
                // What a link or an unknown kind is, the pass looks at for itself.
                keep = keep && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN;
                if (keep && e->d_type == DT_REG)
                    files.append(e->d_name, qsizetype(std::strlen(e->d_name)) + 1);
            }
            if (pl.yieldDue() && !turn()) {
                going = false;
                break;
            }
        }
        ::closedir(d);
        if (!going)
            return false;
        if (keep && pl.listingBytes + files.size() <= kListingBytes) {
            pl.listingBytes += files.size();
            pl.listings.insert(dir, {st.st_dev, st.st_ino, st.st_ctim, std::move(files)});
        }
    }
    if (pl.yieldDue() && !turn())
        return false;
    progress.folderDone();
    progressText = QStringLiteral("Αναζήτηση - Searching...") + progress.dots();
    caption = QStringLiteral("Υποφακέλοι - Subdirectories :") + numtext::N(foundCount);
    return true;
}

void Playlist::Scan::addIfFolder(const QString &dir, const QByteArray &dirBytes, int dirFd, dev_t dirDev,
                                 const dirent &e)
{
    const char *name = e.d_name;
    FolderId id;
    const bool maybeFolder = e.d_type == DT_DIR || e.d_type == DT_LNK || e.d_type == DT_UNKNOWN;
    if (!maybeFolder || !folderId(dirFd, dirBytes, name, dirDev, &id))
        return;
    if (e.d_type != DT_DIR && !treeReal.isEmpty() && linkIntoTree(dirBytes + name, e.d_type, treeReal))
        return;
    if (!seen.insert(id).second)
        return;
    const QString sub = dir + fsname::decode(name, qsizetype(std::strlen(name))) + QLatin1Char('/');
    queue.emplace_back(sub, id.first);
    found.push_back(sub);
    ++foundCount;
}

// After a turn of the event loop: false when the search must finish.
bool Playlist::Scan::turn()
{
    // Rows go into the list at most every 100 ms (every turn when turns are wanted at every
    // entry): each merge redoes the whole list, which in a big tree would cost more than
    // the search itself.
    if (pl.yieldEveryMs <= 0 || sinceRows.elapsed() >= 100) {
        pl.f.List1->addItems(std::move(found));
        found.clear();
        sinceRows.start();
    }
    showProgress();
    pl.yieldToEvents();
    return me == pl.searchGeneration && pl.m.cancelSearch != kOn;
}

void Playlist::Scan::showProgress()
{
    if (caption.isEmpty())
        return;
    pl.f.Text2->setText(progressText);
    pl.f.Frame4->setTitle(caption);
}

void Playlist::Scan::finish()
{
    if (me != pl.searchGeneration)
        return;
    pl.f.List1->addItems(std::move(found));
    showProgress();
}

void Playlist::DirSearch(QString folder)
{
    f.Command2->setEnabled(true);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    Scan scan(*this, folder);
    while (scan.listNext()) { }
    scan.finish();
    f.Command2->setEnabled(false);
    m.cancelSearch = kOff;
    f.Text2->setText(QStringLiteral("Έτοιμο - Ready"));
}

void Playlist::Command2_Click() { m.cancelSearch = kOn; }

void Playlist::Command1_Click()
{
    m.selectAll = int16_t(~m.selectAll);
    const bool toNone = f.Command1->text() == QStringLiteral("Όλοι - All");
    f.Command1->setText(toNone ? QStringLiteral("Κανένας - None") : QStringLiteral("Όλοι - All"));
    for (int i = 0; i < f.List1->count(); ++i)
        f.List1->setSelected(i, !f.List1->isSelected(i));
}

void Playlist::mnumoresub_Click()
{
    f.mnumoresub->setChecked(!f.mnumoresub->isChecked());
    f.List1->setEnabled(!f.List1->isEnabled());
    m.subdirsOn = int16_t(~m.subdirsOn);
    f.Command1->setEnabled(!f.Command1->isEnabled());
    f.Command4->setEnabled(!f.Command4->isEnabled());
    if (f.Command1->isEnabled())
        DesSubs();
}
