#pragma once
// The Player over libmpv. Opening looks synchronous to callers; everything else is read
// from mpv's properties when asked.

#include "playback/player.h"

#include <QList>
#include <QPair>
#include <functional>
#include <future>
#include <optional>

struct mpv_handle;

class MpvPlayer : public Player {
    Q_OBJECT
public:
    using Options = QList<QPair<QByteArray, QByteArray>>;

    // Extra mpv options applied after the defaults (tests pass vo=null, ao=null).
    // onFirstUse: the core (its threads and memory) is created by the first open or the
    // first ask for the handle, not before.
    explicit MpvPlayer(Options extra = {}, QObject *parent = nullptr, bool onFirstUse = false);
    ~MpvPlayer() override;

    bool isValid() { return core() != nullptr; }
    mpv_handle *handle() { return core(); }
    bool coreCreated() const { return m_created; }

    void setFileName(const QString &path) override;
    QString FileName() const override { return m_file; }
    double CurrentPosition() override;
    void setCurrentPosition(double seconds) override;
    double Duration() override;
    int PlayState() override;
    int Volume() const override { return m_volume; }
    void setVolume(int v) override;
    void setSpeed(double factor) override;
    void setLoudness(int choice) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    QSize extent() override;
    quint64 openCount() const override { return m_openCount; }
    bool openFailed() const override { return m_failed; }
    bool opening() const override { return m_openLoop != nullptr; }
    QList<Chapter> chapterList() override;
    void prepareNext(const QString &path) override;

    // Gain of mpv's cubic volume scale for hundredths of a decibel.
    static double mpvVolumeFor(int hundredthsDb);

    // How long an open may take before the file counts as failed. The window stays live
    // meanwhile, so the bound only has to end an open that never answers (a hung network
    // mount): long enough for a sleeping disk to spin up, short enough to move on.
    static constexpr int kOpenTimeoutMs = 15000;

    // Tests: act on the load event this much later, as a slow disk would deliver it.
    int loadEventHoldMs = 0;

private slots:
    void drainEventsSlot();

private:
    void drainEvents();
    void handleEvent(const struct mpv_event &ev);
    bool eofReached();
    void setPause(bool pause);
    // Runs the event loop until done() holds, a newer open begins or the deadline passes;
    // done() is asked again every pollMs when pollMs > 0.
    void waitInLoop(quint64 generation, const class QDeadlineTimer &deadline, const std::function<bool()> &done,
                    int pollMs = 0);
    // Whether path names something other than a regular file; asked on a worker thread,
    // since a sleeping disk answers even that slowly. nullopt: no answer in time.
    std::optional<bool> strangeFile(const QString &path, quint64 generation, const QDeadlineTimer &deadline);
    void loadedNow();
    void openEnded();
    // The prepared file becomes the open one without a new open.
    void takeOverNext(quint64 generation);
    void setGapless(bool on);
    // mpv went on to the prepared file: its sound is the old file's tail until it plays.
    void movedOn();
    // The entry id of the file mpv plays now (-1: none).
    long long playingEntry();
    void watchTail();

    mpv_handle *core();
    // The core, made on a thread of its own from construction until its first use.
    std::future<mpv_handle *> m_making;
    Options m_extra;
    bool m_created = false;
    mpv_handle *m_mpv = nullptr;
    QString m_file;
    quint64 m_openCount = 0;
    long long m_entryId = -1;
    bool m_loaded = false;
    bool m_failed = false;
    bool m_paused = true;
    bool m_stopped = false;
    // Set to a position at or past the end: stands at its end until moved or reopened.
    bool m_atEnd = false;
    // Counts opens; a wait or a held load event that sees a newer open gives way to it.
    quint64 m_openGeneration = 0;
    bool m_started = false;
    class QEventLoop *m_openLoop = nullptr;
    double m_duration = 0;
    // Reads within a few milliseconds share one sample of the core's state: one tick asks
    // for position, length and end several times, and every asking locks the core.
    struct Sample {
        qint64 takenAt = -1;
        bool eof = false;
        double position = 0;
    };
    Sample m_sample;
    const Sample &sample();
    void dropSample() { m_sample.takenAt = -1; }
    std::optional<double> m_pendingSeek;
    // mpv has begun the pending seek: only a restart after that is the seek's own (the
    // open's restart at 0 would otherwise end a seek to 0 before it was made).
    bool m_seekBegun = false;
    int m_volume = 0;
    double m_speed = 1.0;
    int m_loudness = 0;
    // The file prepared to follow, its playlist entry, and whether mpv has moved on to it
    // (the program still sees the previous file standing at its end) and loaded it.
    QString m_nextFile;
    long long m_nextId = -1;
    bool m_movedOn = false;
    bool m_nextLoaded = false;
    bool m_gapless = false;
    class QTimer *m_tailPoll = nullptr;
    int m_tailWaits = 0;
    // How long an open blocks for its file's kind before the loop serves the window.
    static constexpr int kProbeBlockMs = 20;
    static constexpr int kTailWaits = 300; // of 10 ms
    static constexpr int kSlowOpenMs = 300;
    // The file stands at its start (just loaded, or taken over): a seek there would only
    // decode or play its first sound again.
    bool m_fromStart = false;
};
