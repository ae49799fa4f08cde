#include "ui/browser_boxes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>

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
    const QFileInfo fi(folder);
    if (folder.isEmpty() || !fi.isDir())
        return false;
    m_path = QDir::cleanPath(fi.absoluteFilePath());
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
    // Parents from the root down, each indented one step more than its parent.
    QStringList chain;
    for (QDir d(m_path);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &p : chain) {
        const QString name = p == QLatin1String("/") ? p : QFileInfo(p).fileName();
        auto *it = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, this);
        it->setData(Qt::UserRole, p);
        if (p == m_path)
            setCurrentItem(it);
        ++depth;
    }
    // An unreadable folder lists no subfolders; it is still shown as current.
    const QStringList subs = QDir(m_path).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QString &s : subs) {
        auto *it = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + s, this);
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
    // A pass over many folders points the box at each in turn; the rows on screen are
    // rebuilt once, when the event loop next runs.
    if (!m_showPending) {
        m_showPending = true;
        QTimer::singleShot(0, this, [this] {
            m_showPending = false;
            setUpdatesEnabled(false);
            clear();
            addItems(m_files);
            setUpdatesEnabled(true);
        });
    }
    return ok;
}
