#pragma once
// The session state file "velloran.txt" in stateFolder: written once at shutdown,
// read once at start-up.

#include <QString>

class App;

class Session {
public:
    static inline const QString kFileName = QStringLiteral("velloran.txt");

    explicit Session(App &app) : app(app) {}

    void SaveState();
    void LoadState();

    // The working folder with exactly one trailing "/".
    static QString workingStateFolder();
    QString statePath() const;

private:
    void reconcile(const QString &remembered, int savedLast);
    void followSavedOrder(const std::vector<QString> &saved, const std::vector<int> &savedAt,
                          const QString &remembered);
    App &app;
};
