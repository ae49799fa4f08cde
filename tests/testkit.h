#pragma once
// Shared pieces of the test suites: generated media, a dialog recorder, a scratch working
// folder, and the players' headless options.

#include "playback/mpv_player.h"
#include "ui/dialogs.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>

namespace testkit {

// vo=null and ao=null (paced on the clock): no window, no sound device.
MpvPlayer::Options headless();

// Makes a small media file with ffmpeg: kind "mp3", "wav" or "avi"; seconds long.
// Returns its path, or an empty string when ffmpeg failed.
QString makeMedia(const QString &dir, const QString &name, const QString &kind, double seconds);

// Answers message and input boxes instead of a person and keeps what they said.
class DialogRecorder : public dialogs::Backend {
public:
    DialogRecorder() { dialogs::setBackend(this); }
    ~DialogRecorder() override { dialogs::setBackend(nullptr); }

    struct Shown {
        QString text;
        dialogs::Style style;
        QString title;
    };
    std::vector<Shown> messages;
    std::vector<QString> prompts;
    std::deque<dialogs::Answer> answers;              // Ok when empty
    std::deque<std::optional<QString>> inputs;        // cancel when empty

    dialogs::Answer msgBox(const QString &text, dialogs::Style style, const QString &title) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                    const QString &defaultText) override;
};

// Makes a fresh temporary folder the working folder for the life of the object, with its
// own XDG config home so that nothing of the user's is read or written.
class ScratchCwd {
public:
    ScratchCwd();
    ~ScratchCwd();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_old;
};

// Runs the event loop until pred holds or ms pass; true when it held.
bool waitFor(const std::function<bool()> &pred, int ms);

} // namespace testkit
