#pragma once
// MPRIS2 on the session bus, so that media keys, desktop media widgets and playerctl control
// the player. Qt sends no PropertiesChanged by itself: a short poll compares the properties
// with what was last announced and sends the changes.

#include "playback/speed_logic.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>

class Form1;
class Player;
struct Module1;

class Mpris : public QObject {
    Q_OBJECT
public:
    // What the media control asks of the rest; the application object wires these.
    struct Hooks {
        // The player that has the file now.
        std::function<Player &()> player;
        // The volume bar set from here, with the bar's own handling.
        std::function<void(int)> setVolumeBar;
        std::function<void(double)> setSpeed;
        // The Next button's road.
        std::function<void()> next;
        // Starts playlist entry row as a double click does (at its kept place).
        std::function<void(int)> playRow;
        // The menus' roads: shuffle on/off, replay None/One/All (0..2).
        std::function<void()> toggleShuffle;
        std::function<void(int)> setReplay;
        // Files and folders to add as a drop is, the first started.
        std::function<void(const QStringList &)> open;
        // The closing road; called after the reply has gone out.
        std::function<void()> quit;
    };

    Mpris(Module1 &m, Form1 &f, Hooks hooks);
    // Gives the name back, so a program made after this one in the same process gets it.
    ~Mpris() override;
    // Registers on the session bus; false (and nothing touched) when there is none.
    bool start();
    QString serviceName() const { return m_service; }

    // What the two interfaces report and do.
    Player &player();
    QString status();
    QVariantMap metadata();
    qlonglong positionUs();
    double volume();
    void setVolume(double v);
    double rate();
    void setRate(double r);
    bool hasFile();
    bool canGoNext();
    bool canGoPrevious();
    bool shuffle();
    void setShuffle(bool on);
    QString loopStatus();
    void setLoopStatus(const QString &status);
    QDBusObjectPath trackId();
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void openUri(const QString &uri);
    void seek(qlonglong offsetUs);
    void setPosition(const QDBusObjectPath &track, qlonglong positionUs);
    void raise();
    void quit();

    // Compares and announces; the poll calls it, tests may too.
    void announceChanges();
    // The poll runs only while something may change; stopping, it announces what stands.
    void setPolling(bool on);

signals:
    void seeked(qlonglong positionUs);

private:
    Module1 &m;
    Form1 &f;
    Hooks hooks;
    QTimer m_poll;
    QString m_service;
    QVariantMap m_announced;
    QString m_tagFile;
    QString m_tagTitle, m_tagArtist, m_tagAlbum, m_artUrl;
    // The files played in this run, the current one last: shuffle's Previous goes back along it.
    QStringList m_played;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    MprisRootAdaptor(QObject *holder, Mpris &m)
        : QDBusAbstractAdaptor(holder)
        , m(m)
    {
    }
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Velloran"); }
    QString desktopEntry() const { return QStringLiteral("velloran"); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const { return {}; }
public slots:
    void Raise() { m.raise(); }
    void Quit() { m.quit(); }

private:
    Mpris &m;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canPause)
    Q_PROPERTY(bool CanControl READ yes)
public:
    MprisPlayerAdaptor(QObject *holder, Mpris &m);
    QString playbackStatus() const { return m.status(); }
    double rate() const { return m.rate(); }
    void setRate(double r) { m.setRate(r); }
    double minimumRate() const { return speed::kMin; }
    double maximumRate() const { return speed::kMax; }
    QVariantMap metadata() const { return m.metadata(); }
    double volume() const { return m.volume(); }
    void setVolume(double v) { m.setVolume(v); }
    qlonglong position() const { return m.positionUs(); }
    bool canGoNext() const { return m.canGoNext(); }
    bool canGoPrevious() const { return m.canGoPrevious(); }
    bool shuffle() const { return m.shuffle(); }
    void setShuffle(bool on) { m.setShuffle(on); }
    QString loopStatus() const { return m.loopStatus(); }
    void setLoopStatus(const QString &status) { m.setLoopStatus(status); }
    bool canPlay() const { return m.canGoNext() || m.hasFile(); }
    bool canPause() const { return m.hasFile(); }
    bool yes() const { return true; }
public slots:
    void Play() { m.play(); }
    void Pause() { m.pause(); }
    void PlayPause() { m.playPause(); }
    void Stop() { m.stop(); }
    void Next() { m.next(); }
    void Previous() { m.previous(); }
    void Seek(qlonglong Offset) { m.seek(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position) { m.setPosition(TrackId, Position); }
    void OpenUri(const QString &Uri) { m.openUri(Uri); }
signals:
    void Seeked(qlonglong Position);

private:
    Mpris &m;
};
