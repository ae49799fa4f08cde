#pragma once
// The session state file "velloran.txt" in stateFolder: written once at shutdown,
// read once at start-up; and the state database's recovery copy of it while the run lasts.

#include "state/session_file.h"
#include "state/state_db.h"

#include <QString>
#include <optional>

class Form1;
class Places;
class Playback;
class Playlist;
class QFile;
class QTimer;
struct Module1;

class Session {
public:
    static inline const QString kFileName = QStringLiteral("velloran.txt");

    Session(Module1 &m, Form1 &form, StateDb &db, Playback &playback, Playlist &playlist, Places &places);
    ~Session();

    void SaveState();
    void LoadState();
    // After the start-up resume: the recovery or database notice is still to be read.
    void keepStartNotice();

    // The working folder with exactly one trailing "/".
    static QString workingStateFolder();
    QString statePath() const;

    // The session as the file would carry it now.
    state::Snapshot snapshot();
    // The recovery copy in the state database, brought up to date when something changed.
    void writeRecovery();
    static constexpr int kRecoveryIntervalMs = 3000;
    // While nothing runs nothing changes: one last write, then the writes wait for a change.
    void recoverWhile(bool running);
    // Open once LoadState has run and the database could be had.
    StateDb &stateDb() { return m_db; }

private:
    bool openStateFile(QFile &file, qint64 *modifiedMs) const;
    void removeStaleSaves() const;
    // The database's copy, when it is newer than the file (a run that ended unclean).
    std::optional<QByteArray> recover(const QByteArray &head, qint64 fileMs);
    void applyFolders(const state::Snapshot &s);
    void applySettings(const state::Snapshot &s);
    void applyList(const state::Decoded &d);
    void applyMenus();
    void showNotice();
    QString unkeptText() const;
    static QString lockedText();
    // True when an entry that ended two runs was marked played.
    bool resumeOrSkip(const QString &remembered);
    void reconcile(const QString &remembered, int savedLast);
    void followSavedOrder(const QStringList &saved, const std::vector<int> &savedAt, const QString &remembered);
    Module1 &m;
    Form1 &form;
    Playback &playback;
    Playlist &playlist;
    Places &places;
    StateDb &m_db;
    QTimer *m_recoveryTimer = nullptr;
    bool m_resting = false; // nothing runs: no write until a change
    bool m_skipCrashed = false;
    QString m_crashed; // the entry the last unclean ends are counted on
    bool m_restored = false;
    bool m_unkept = false;   // the recovery copy could not be written, and that was told
    bool m_lockTold = false; // another program's lock on the database was told
    QString m_notice;        // what the start tells about the recovery copy or the database
};
