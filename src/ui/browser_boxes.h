#pragma once
// The drive, folder and file boxes of the file browser. They only show and report; the
// playlist subsystem decides what a change means.

#include "playlist/wildcard.h"

#include <QComboBox>
#include <QListWidget>

// The mounted volumes, "/" first.
class DriveBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveBox(QWidget *parent = nullptr);
    void refreshDrives();
    QString drive() const { return currentText(); }
    // Shows drive; false (and nothing changed) when it is not a mounted volume.
    bool setDrive(const QString &drive);
    // The volume that holds path.
    static QString driveOf(const QString &path);

signals:
    void userChanged();
};

// The current folder with its parents above it and its subfolders below.
class DirBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirBox(QWidget *parent = nullptr);
    QString path() const { return m_path; }
    // Goes to folder; false (and nothing changed) when it is not an existing folder.
    bool setPath(const QString &folder);

signals:
    void userChanged();

private:
    void fill();
    void onItemChosen(QListWidgetItem *item);
    QString m_path;
};

// The matching files of one folder.
class FileBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileBox(QWidget *parent = nullptr);
    QString path() const { return m_path; }
    QString pattern() const { return m_pattern.text(); }
    // Points the box at folder; false when it cannot be listed (the box is then empty).
    bool setPath(const QString &folder);
    // Points the box at folder and lists it only when its files are next asked for or
    // shown: a pass over many folders does not list and sort each one twice.
    void follow(const QString &folder);
    void setPattern(const QString &pattern);
    const QStringList &files() const;

private:
    bool refresh();
    void showSoon();
    QString m_path;
    wildcard::Pattern m_pattern;
    mutable QStringList m_files;
    mutable bool m_stale = false;
    bool m_showPending = false;
};
