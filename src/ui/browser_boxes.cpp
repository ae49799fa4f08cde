#include "ui/browser_boxes.h"

#include "base/fsname.h"
#include "base/name_order.h"
#include "playlist/wildcard.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool isUserVolume(const QStorageInfo &v)
{
    const QString root = v.rootPath();
    if (root == QLatin1String("/"))
        return true;
    static const char *const skipped[] = {"/proc", "/sys", "/dev", "/run", "/boot/efi", "/snap"};
    for (const char *s : skipped) {
        const QString p = QLatin1String(s);
        if (root == p || root.startsWith(p + QLatin1Char('/')))
            return root.startsWith(QLatin1String("/run/media/"));
    }
    return v.isValid() && v.isReady();
}

} // namespace

DriveBox::DriveBox(QWidget *parent)
    : QComboBox(parent)
{
    refreshDrives();
    connect(this, &QComboBox::activated, this, &DriveBox::userChanged);
}

void DriveBox::refreshDrives()
{
    QStringList roots{QStringLiteral("/")};
    for (const QStorageInfo &v : QStorageInfo::mountedVolumes())
        if (isUserVolume(v) && !roots.contains(v.rootPath()))
            roots.append(v.rootPath());
    std::sort(roots.begin() + 1, roots.end());
    const QString keep = currentText();
    blockSignals(true);
    clear();
    addItems(roots);
    setCurrentIndex(std::max(0, findText(keep)));
    blockSignals(false);
}

bool DriveBox::setDrive(const QString &drive)
{
    int i = findText(drive);
    if (i < 0) {
        refreshDrives();
        i = findText(drive);
    }
    if (i < 0)
        return false;
    setCurrentIndex(i);
    return true;
}

QString DriveBox::driveOf(const QString &path)
{
    const QStorageInfo v(path);
    return v.isValid() && isUserVolume(v) ? v.rootPath() : QStringLiteral("/");
}

DirBox::DirBox(QWidget *parent)
    : QListWidget(parent)
{
    connect(this, &QListWidget::itemClicked, this, &DirBox::onItemChosen);
    connect(this, &QListWidget::itemActivated, this, &DirBox::onItemChosen);
}

bool DirBox::setPath(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    // Checked on the name's own bytes: a folder named in Latin-1 or Windows-1253 is a folder too.
    const QString path
        = QDir::cleanPath(QDir::isAbsolutePath(folder) ? folder : QDir::currentPath() + QLatin1Char('/') + folder);
    struct stat st { };
    if (::stat(fsname::encode(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    m_path = path;
    fill();
    return true;
}

void DirBox::onItemChosen(QListWidgetItem *item)
{
    const QString target = item->data(Qt::UserRole).toString();
    if (target != m_path && setPath(target))
        emit userChanged();
}

void DirBox::fill()
{
    clear();
    // Parents from the root down, each indented one step more than its parent; worked out
    // on the text, so names of any bytes need no trip to the disk.
    QStringList chain{QStringLiteral("/")};
    for (const QString &part : m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        chain.append(wildcard::joinPath(chain.last(), part));
    int depth = 0;
    for (const QString &p : chain) {
        const QString name = p == QLatin1String("/") ? p : p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
        auto *it = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + fsname::shown(name), this);
        it->setData(Qt::UserRole, p);
        if (p == m_path)
            setCurrentItem(it);
        ++depth;
    }
    // An unreadable folder lists no subfolders; it is still shown as current.
    QStringList subs;
    const QByteArray dirBytes = fsname::encode(wildcard::joinPath(m_path, QString()));
    if (DIR *d = ::opendir(dirBytes.constData())) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            struct stat st { };
            if (e->d_type == DT_DIR
                || ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
                    && ::stat((dirBytes + e->d_name).constData(), &st) == 0 && S_ISDIR(st.st_mode)))
                subs.append(fsname::decode(e->d_name, qsizetype(std::strlen(e->d_name))));
        }
        ::closedir(d);
    }
    nameorder::sort(subs);
    for (const QString &s : subs) {
        auto *it = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + fsname::shown(s), this);
        it->setData(Qt::UserRole, wildcard::joinPath(m_path, s));
    }
}

FileBox::FileBox(QWidget *parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
}

bool FileBox::setPath(const QString &folder)
{
    m_path = folder;
    return refresh();
}

void FileBox::setPattern(const QString &pattern)
{
    m_pattern = wildcard::Pattern(pattern);
    refresh();
}

bool FileBox::refresh()
{
    bool ok = false;
    m_files = m_path.isEmpty() ? QStringList() : wildcard::matchingFiles(m_path, m_pattern, &ok);
    m_stale = false;
    showSoon();
    return ok;
}

void FileBox::follow(const QString &folder)
{
    m_path = folder;
    m_stale = true;
    showSoon();
}

const QStringList &FileBox::files() const
{
    if (m_stale) {
        m_stale = false;
        m_files = m_path.isEmpty() ? QStringList() : wildcard::matchingFiles(m_path, m_pattern);
    }
    return m_files;
}

void FileBox::showSoon()
{
    // A pass over many folders points the box at each in turn; the rows on screen are
    // rebuilt once, when the event loop next runs.
    if (m_showPending)
        return;
    m_showPending = true;
    QTimer::singleShot(0, this, [this] {
        m_showPending = false;
        setUpdatesEnabled(false);
        clear();
        QStringList shown;
        shown.reserve(files().size());
        for (const QString &name : files())
            shown.append(fsname::shown(name));
        addItems(shown);
        setUpdatesEnabled(true);
    });
}
