#pragma once
// The transport keys and what goes with them: play/pause, skips that move a kept place,
// the playing file's chapters (menu, stepping, the title in the status line and tray tip)
// and the rewind on resume.

#include "playback/chapter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class Form1;
class Player;
class Playback;
class QMenu;
class StateDb;

class Transport : public QObject {
    Q_OBJECT
public:
    Transport(Form1 &f, Playback &playback, StateDb &db);

    void playPause();
    // Moves the watched player's file by seconds (negative: back) and its kept place with it.
    void skip(double seconds);
    // Previous (-1) or next (+1) chapter.
    void stepChapter(int step);
    void seekChapter(int index);
    // Fills menu with the playing file's chapters, the current one checked; any menu will do
    // (the main window's Chapters menu is filled each time it opens).
    void fillChapters(QMenu &menu);
    // The usable chapters of the watched player's file (none: empty).
    QList<Chapter> chapters();
    int currentChapter();

    // The rewind choice: index into transport::kRewindChoices.
    void mnurewindn_Click(int index);
    // Reads the choice kept for the session folder.
    void load();
    double rewindSecs() const;
    // Where a start-up resume at start begins; notes the resume for the status line.
    double resumeStart(Player &p, double start);

    // What the chapter adds to the status line, and the tray tip with the chapter after the name.
    QString statusSuffix();
    void setTrayTip(const QString &field);
    std::function<void(const QString &field)> showTrayTip = [](const QString &) {};

    // Milliseconds of a steady clock; tests set their own.
    std::function<qint64()> clockMs;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(Player &p);
    void stateChanged(Player &p);
    void follow();
    Form1 &f;
    Playback &playback;
    StateDb &db;
    // The chapters read for one open of one player.
    const Player *m_chaptersOf = nullptr;
    quint64 m_chaptersOpen = 0;
    QList<Chapter> m_chapters;
    // The pause under way on a player: when it began (-1: none) and on which open.
    struct PauseSeen {
        const Player *player = nullptr;
        quint64 open = 0;
        int state = 0;
        qint64 since = -1;
    };
    PauseSeen m_pause;
    // The last shown chapter, the tray tip's name and a start-up resume still reported.
    const Player *m_shownPlayer = nullptr;
    quint64 m_shownOpen = 0;
    int m_shownChapter = -2;
    QString m_tipName;
    QString m_resumeReport;
    quint64 m_resumeOpen = 0;
    QTimer m_follow;
    double m_rewind = 0;
};
