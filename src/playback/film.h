#pragma once
// The film in the video window: its own keys, fullscreen, and the audio and subtitle track
// menus, with the tracks chosen kept per file in the state database.

#include "playback/film_logic.h"

#include <QObject>
#include <QPointer>
#include <vector>

class Form1;
class Form2;
class MpvPlayer;
class QMenu;
class StateDb;

class Film : public QObject {
    Q_OBJECT
public:
    Film(Form1 &f, MpvPlayer &video, StateDb &db);

    // A new video window: its keys, its picture's menu and its fullscreen.
    void attach(Form2 &w);

    // The film's audio and subtitle tracks as the player lists them now.
    std::vector<filmlogic::Track> tracks();
    // id: a track number, or "no" for subtitles off. Kept for the file.
    void choose(const QString &type, const QString &id);
    // Loads a subtitle file beside the film's own tracks and shows it.
    void addSubtitle(const QString &path);
    // The choice kept for path: {audio, subtitle}, empty when none.
    std::pair<QString, QString> kept(const QString &path);

private:
    void fill(QMenu *menu, const QString &type);
    void opened();
    void keep();
    QString property(const char *name);
    void command(std::initializer_list<const char *> args);

    Form1 &f;
    MpvPlayer &video;
    StateDb &db;
    QPointer<Form2> window;
    QMenu *pictureMenu;
    quint64 restoredOpen = 0;
};
