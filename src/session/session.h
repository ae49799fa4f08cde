#pragma once
// The session state file "velloran.txt" in stateFolder: written once at shutdown,
// read once at start-up.

#include "session/state_codec.h"

#include <QString>
#include <memory>

class App;
class QTimer;
class StateDb;

class Session {
public:
    static inline const QString kFileName = QStringLiteral("velloran.txt");

    explicit Session(App &app);
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
    StateDb *stateDb() { return m_db.get(); }

private:
    QByteArray recover(QByteArray fileBytes, qint64 fileMs);
    void reconcile(const QString &remembered, int savedLast);
    void followSavedOrder(const std::vector<QString> &saved, const std::vector<int> &savedAt,
                          const QString &remembered);
    App &app;
    std::unique_ptr<StateDb> m_db;
    QTimer *m_recoveryTimer = nullptr;
    bool m_skipCrashed = false;
    bool m_restored = false;
    QString m_notice; // what the start tells about the recovery copy or the database
};
