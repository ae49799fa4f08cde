#pragma once
// Shared pieces of the test suites: generated media, a dialog recorder, a scratch working
// folder, the players' headless options, and one fixture that starts the program on them.

#include "app/app.h"
#include "playback/mpv_player.h"
#include "state/session_file.h"
#include "ui/dialogs.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>

class ListBox;

namespace testkit {

// vo=null and ao=null (paced on the clock): no window, no sound device.
MpvPlayer::Options headless();

// Makes a small media file with ffmpeg: kind "mp3", "wav", "avi" or "mkv" (the last two a
// 160x120 test picture with a tone), "hd" (a 1920x1080 one, .mkv) or "tracks" (.mkv, the
// picture with two audio tracks: 440 Hz "eng" and 880 Hz "ell"); seconds long.
// Further ffmpeg options (rate, level, tags) go in extra. Returns its path; a failure of
// ffmpeg ends the test run with its complaint.
QString makeMedia(const QString &dir, const QString &name, const QString &kind, double seconds,
                  const QString &extra = {});

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
    std::deque<dialogs::Answer> answers;       // Ok when empty
    std::deque<std::optional<QString>> inputs; // cancel when empty

    dialogs::Answer msgBox(const QString &text, dialogs::Style style, const QString &title) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
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

// A file's bytes (empty when it cannot be read), and a file replaced by bytes or made empty,
// with its folders.
QByteArray readAll(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
void touch(const QString &path);
// The texts of a list box's rows, in order.
QStringList rows(const ListBox &box);
// Bytes this process has written so far (/proc/self/io), -1 when unknown.
qint64 bytesWrittenSoFar();

} // namespace testkit

#include "playback/player.h"

namespace testkit {

// A player whose every answer the test sets: for exact positions and lengths.
class ScriptedPlayer : public Player {
public:
    QString file;
    double position = 0, duration = 0;
    int state = Stopped;
    int volume = 0;
    double speed = 1.0;
    quint64 opens = 0;

    void setFileName(const QString &path) override
    {
        file = path;
        ++opens;
        position = 0;
    }
    QString FileName() const override { return file; }
    double CurrentPosition() override { return position; }
    void setCurrentPosition(double s) override { position = s; }
    double Duration() override { return duration; }
    int PlayState() override { return state; }
    int Volume() const override { return volume; }
    void setVolume(int v) override { volume = v; }
    void setSpeed(double s) override { speed = s; }
    void Play() override { state = Playing; }
    void Pause() override { state = Paused; }
    void Stop() override
    {
        state = Stopped;
        position = 0;
    }
    QSize extent() override { return {}; }
    quint64 openCount() const override { return opens; }
};

// An App whose main player is scripted; player points at it once the App is built.
struct ScriptedMain {
    ScriptedPlayer *player = nullptr;
    double duration = 0; // the player's length from the first open on
    App::Options options();
};

// The session file a test starts from (entries as they are listed, -1: no entry).
struct SessionFile {
    QStringList entries;
    int16_t last = -1, pos = 0, replay = 0, preview = 0, previewSecs = 10, video = -1;
};
void writeSession(const QString &folder, const SessionFile &s);

// A scratch working folder, a dialog recorder and the program built headless, or with the
// scripted main player (its ticker then stopped: the test moves time itself).
class Fixture {
public:
    explicit Fixture(bool scriptedMain = false)
        : m_scripted(scriptedMain)
    {
    }
    ScratchCwd cwd;
    DialogRecorder dialogs;
    ScriptedMain scripted;
    ScriptedPlayer *&player = scripted.player; // the scripted main player, once started
    MpvPlayer::Options playerOptions;          // on top of the headless ones
    double &scriptedDuration = scripted.duration;
    std::unique_ptr<App> app;

    // (Re)starts the program, on the session given when there is one.
    App &start(const std::optional<SessionFile> &session = std::nullopt);
    Form1 &form() const;
    // Puts files in the playlist with fresh marks, as Add would.
    void fill(const QStringList &files) const;
    // Double-clicks the row of file.
    void pick(const QString &file) const;
    // The session file in the working folder as it is now.
    state::Records saved() const;

private:
    bool m_scripted;
};

} // namespace testkit
