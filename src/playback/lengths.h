#pragma once
// Time left for the whole playlist, shown in the completed window: the playlist's lengths
// come from a LengthCache, the rest from the marks, the playing file and saved places.

#include "playback/length_cache.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class Form4;
class ListBox;
class Player;
class StateDb;
struct Module1;

class Lengths : public QObject {
    Q_OBJECT
public:
    // list: the playlist.
    Lengths(const Module1 &m, const ListBox &list, StateDb &db);

    // The playlist was rebuilt: its lengths are looked up again (first time: after start-up).
    void playlistChanged();
    // Writes the time-left text to the completed window, if that window exists.
    void refresh();
    // The window is shown: its text follows the playing file again.
    void resume();
    // The text as it stands now.
    QString text();

    // The saved second of a partly played file (none: 0).
    std::function<double(const QString &path)> placeOf;
    // The player whose file the windows follow.
    std::function<Player &()> watchedPlayer;
    // The completed window, if it exists.
    std::function<Form4 *()> window;

    lengths::LengthCache &cache() { return m_cache; }

    // Start-up comes first: the first lookup waits this long.
    static constexpr int kFirstLookupDelayMs = 1500;
    static constexpr int kRefreshMs = 500;

private:
    void lookUp();
    // What the completed window shows after entry index's row.
    QString placeNote(int index) const;
    const Module1 &m;
    const ListBox &list;
    StateDb &db;
    lengths::LengthCache m_cache;
    QTimer m_lookupTimer;
    QTimer m_refreshTimer;
    bool m_started = false;
    bool m_dirty = true;
};
