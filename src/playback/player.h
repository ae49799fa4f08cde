#pragma once
// The media player as the rest of the program sees it: open a file by name, start, pause,
// stop, and read position, length and play state. Positions and lengths are seconds.

#include "playback/chapter.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

class Player : public QObject {
    Q_OBJECT
public:
    enum State { Stopped = 0, Paused = 1, Playing = 2 };

    using QObject::QObject;
    ~Player() override = default;

    // Opens the file and returns once it is loaded or has failed, so that Duration and
    // CurrentPosition answer for it on the next call.
    virtual void setFileName(const QString &path) = 0;
    virtual QString FileName() const = 0;

    virtual double CurrentPosition() = 0;
    virtual void setCurrentPosition(double seconds) = 0;
    virtual double Duration() = 0;
    virtual int PlayState() = 0;

    // Hundredths of a decibel, -4000..0; reads back exactly what was set.
    virtual int Volume() const = 0;
    virtual void setVolume(int v) = 0;

    // Playing speed, 1 = normal; pitch is kept. Stays for the files opened after it.
    virtual void setSpeed(double factor) = 0;

    // How loudness is evened out (loudness::Choice); stays for the files opened after it.
    virtual void setLoudness(int /*choice*/) { }

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    // Size of the picture in pixels (0x0 without video).
    virtual QSize extent() = 0;

    // How many files have been opened on this player; lets the ticker tell one opened
    // file from the next, and an idle player from an ended one.
    virtual quint64 openCount() const = 0;

    // The last file set could not be opened (missing, not a regular file, not media).
    virtual bool openFailed() const { return false; }
    // An open is still waiting for the file: position and length mean nothing yet.
    virtual bool opening() const { return false; }
    // The open file's chapters as the container lists them, unchecked.
    virtual QList<Chapter> chapterList() { return {}; }
    // The file this one's end would start, made ready to follow it without a gap; empty: none.
    // The player then moves on by itself and reports the end; a setFileName of the same path
    // takes over the file already sounding instead of opening it again.
    virtual void prepareNext(const QString & /*path*/) { }

    bool inUse() const { return m_inUse; }
    void setInUse(bool v) { m_inUse = v; }
    bool flag1089() const { return m_flag1089; }
    void setFlag1089(bool v) { m_flag1089 = v; }

signals:
    // Something a transport bar shows has changed (file, state, position after a seek).
    void changed();
    // The file has played to its end: told at once, so the next one need not wait for a tick.
    void ended();
    // An open has waited a while (a slow disk or a hung mount): whoever waits for it to
    // show something need not.
    void openIsSlow();

private:
    bool m_inUse = true;
    bool m_flag1089 = false;
};
