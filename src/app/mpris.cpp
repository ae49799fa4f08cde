#include "app/mpris.h"

#include "app/file_tags.h"
#include "app/mpris_logic.h"
#include "app/open_args.h"
#include "base/offthread.h"
#include "playback/player.h"
#include "state/module1.h"
#include "tags/id3v1.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QScrollBar>
#include <QStandardPaths>
#include <QUrl>
#include <cmath>
#include <unistd.h>

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

struct Shown {
    QString title, artist, album, artUrl;
};

Shown shownTags(const QString &file)
{
    Shown s;
    if (const auto tag = id3v1::readFile(file)) {
        s.title = id3v1::shownText(tag->title).trimmed();
        s.artist = id3v1::shownText(tag->artist).trimmed();
        s.album = id3v1::shownText(tag->album).trimmed();
    }
    // The file's own tags fill what its ID3v1 tag leaves empty.
    const file_tags::Tags own = file_tags::read(file);
    for (auto [field, value] :
         {std::pair{&s.title, &own.title}, std::pair{&s.artist, &own.artist}, std::pair{&s.album, &own.album}})
        if (field->isEmpty())
            *field = *value;
    QString art = file_tags::cachedPicture(
        own.picture, QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/velloran");
    if (art.isEmpty())
        art = file_tags::coverBeside(file);
    s.artUrl = art.isEmpty() ? QString() : QUrl::fromLocalFile(art).toString();
    return s;
}
} // namespace

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject *holder, Mpris &m)
    : QDBusAbstractAdaptor(holder)
    , m(m)
{
    connect(&m, &Mpris::seeked, this, &MprisPlayerAdaptor::Seeked);
}

Mpris::Mpris(Module1 &m, Form1 &f, Hooks hooks)
    : QObject(nullptr)
    , m(m)
    , f(f)
    , hooks(std::move(hooks))
{
    m_poll.setInterval(200);
    connect(&m_poll, &QTimer::timeout, this, &Mpris::announceChanges);
}

Mpris::~Mpris()
{
    if (m_service.isEmpty())
        return;
    QDBusConnection::sessionBus().unregisterObject(kPath);
    QDBusConnection::sessionBus().unregisterService(m_service);
}

bool Mpris::start()
{
    if (!mpris::reachable(qgetenv("DBUS_SESSION_BUS_ADDRESS")))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    new MprisRootAdaptor(this, *this);
    new MprisPlayerAdaptor(this, *this);
    if (!bus.registerObject(kPath, this))
        return false;
    // A second running copy takes an instance name, as MPRIS allows.
    m_service = QStringLiteral("org.mpris.MediaPlayer2.velloran");
    if (!bus.registerService(m_service)) {
        m_service += QStringLiteral(".instance%1").arg(::getpid());
        if (!bus.registerService(m_service))
            return false;
    }
    m_announced = {};
    announceChanges();
    m_poll.start();
    return true;
}

void Mpris::setPolling(bool on)
{
    if (m_service.isEmpty())
        return;
    if (on) {
        if (!m_poll.isActive())
            m_poll.start();
        return;
    }
    announceChanges();
    m_poll.stop();
}

Player &Mpris::player() { return hooks.player(); }

bool Mpris::hasFile() { return !player().FileName().isEmpty(); }

bool Mpris::canGoNext() { return f.List2->count() > 0; }

bool Mpris::canGoPrevious()
{
    if (shuffle()) {
        metadata(); // notes a file started since the last poll
        return m_played.size() > 1;
    }
    return mpris::previousRow(m.lastIndex) >= 0 && m.lastIndex < f.List2->count();
}

bool Mpris::shuffle() { return m.shuffleOn == kOn; }

void Mpris::setShuffle(bool on)
{
    if (on != shuffle())
        hooks.toggleShuffle();
    announceChanges();
}

QString Mpris::loopStatus() { return mpris::loopStatus(m.replayMode); }

void Mpris::setLoopStatus(const QString &status)
{
    const int mode = mpris::replayMode(status);
    if (mode >= 0)
        hooks.setReplay(mode);
    announceChanges();
}

QString Mpris::status() { return mpris::playbackStatus(hasFile() ? player().PlayState() : Player::Stopped); }

QDBusObjectPath Mpris::trackId()
{
    if (!hasFile())
        return QDBusObjectPath(kNoTrack);
    return QDBusObjectPath(QStringLiteral("/org/velloran/track/%1").arg(std::max<int>(m.lastIndex, 0)));
}

QVariantMap Mpris::metadata()
{
    QVariantMap md;
    md.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
    if (!hasFile())
        return md;
    const QString file = player().FileName();
    if (file != m_tagFile) {
        // Read once per file: the poll asks several times a second. The file may sit on a
        // slow disk, so the read runs aside and the change is announced when it returns.
        m_tagFile = file;
        m_tagTitle.clear();
        m_tagArtist.clear();
        m_tagAlbum.clear();
        m_artUrl.clear();
        offthread::run<Shown>(
            this, [file] { return shownTags(file); },
            [this, file](const Shown &shown) {
                if (file != m_tagFile)
                    return;
                m_tagTitle = shown.title;
                m_tagArtist = shown.artist;
                m_tagAlbum = shown.album;
                m_artUrl = shown.artUrl;
                QTimer::singleShot(0, this, [this] { announceChanges(); });
            },
            offthread::kFastMs);
        if (m_played.isEmpty() || m_played.last() != file)
            m_played.append(file);
    }
    md.insert(QStringLiteral("xesam:title"), m_tagTitle.isEmpty() ? QFileInfo(file).fileName() : m_tagTitle);
    if (!m_tagArtist.isEmpty())
        md.insert(QStringLiteral("xesam:artist"), QStringList{m_tagArtist});
    if (!m_tagAlbum.isEmpty())
        md.insert(QStringLiteral("xesam:album"), m_tagAlbum);
    if (!m_artUrl.isEmpty())
        md.insert(QStringLiteral("mpris:artUrl"), m_artUrl);
    md.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(file).toString());
    const double length = player().Duration();
    if (std::isfinite(length) && length > 0)
        md.insert(QStringLiteral("mpris:length"), qlonglong(std::llround(length * 1e6)));
    return md;
}

qlonglong Mpris::positionUs()
{
    if (!hasFile())
        return 0;
    const double s = player().CurrentPosition();
    return std::isfinite(s) && s > 0 ? qlonglong(std::llround(s * 1e6)) : 0;
}

double Mpris::volume() { return mpris::volumeFromScroll(f.HScroll1->value()); }

void Mpris::setVolume(double v)
{
    hooks.setVolumeBar(mpris::scrollFromVolume(v));
    announceChanges();
}

double Mpris::rate() { return mpris::rateOnSteps(m.playSpeed); }

void Mpris::setRate(double r)
{
    // MPRIS: a rate of 0 acts as Pause; others come onto the speed steps.
    if (r <= 0)
        pause();
    else
        hooks.setSpeed(r);
    announceChanges();
}

void Mpris::play()
{
    if (hasFile())
        player().Play();
    else if (canGoNext())
        next();
}

void Mpris::pause()
{
    if (hasFile() && player().PlayState() == Player::Playing)
        player().Pause();
}

void Mpris::playPause()
{
    if (hasFile() && player().PlayState() == Player::Playing)
        pause();
    else
        play();
}

void Mpris::stop()
{
    if (hasFile())
        player().Stop();
}

// The roads below may show a message box: they run after the reply has gone out.
void Mpris::next()
{
    QTimer::singleShot(0, this, [this] { hooks.next(); });
}

void Mpris::previous()
{
    QTimer::singleShot(0, this, [this] {
        metadata(); // the file left is noted, however short it played
        if (!canGoPrevious())
            return;
        int row = mpris::previousRow(m.lastIndex);
        if (shuffle()) {
            // The one played before, found again by name: the list may have changed since.
            m_played.removeLast();
            row = f.List2->findExact(m_played.last());
        }
        if (row >= 0)
            hooks.playRow(row);
    });
}

void Mpris::openUri(const QString &uri)
{
    const QStringList paths = open_args::localPaths({uri}, QString());
    QTimer::singleShot(0, this, [this, paths] { hooks.open(paths); });
}

void Mpris::seek(qlonglong offsetUs)
{
    if (!hasFile())
        return;
    const double target = player().CurrentPosition() + double(offsetUs) / 1e6;
    const double length = player().Duration();
    // Past the end counts as Next; before the start as the start.
    if (std::isfinite(length) && length > 0 && target > length) {
        next();
        return;
    }
    player().setCurrentPosition(std::max(0.0, target));
    emit seeked(std::llround(std::max(0.0, target) * 1e6));
}

void Mpris::setPosition(const QDBusObjectPath &track, qlonglong us)
{
    const double length = player().Duration();
    if (!hasFile() || track != trackId() || us < 0 || (std::isfinite(length) && us / 1e6 > length))
        return;
    player().setCurrentPosition(us / 1e6);
    emit seeked(us);
}

void Mpris::raise()
{
    f.showNormal();
    f.raise();
    f.activateWindow();
}

void Mpris::quit()
{
    // After the reply has gone out: the same road as the tray's Quit.
    QTimer::singleShot(0, this, [this] { hooks.quit(); });
}

void Mpris::announceChanges()
{
    if (m_service.isEmpty())
        return;
    QVariantMap now;
    now.insert(QStringLiteral("PlaybackStatus"), status());
    now.insert(QStringLiteral("Metadata"), metadata());
    now.insert(QStringLiteral("Volume"), volume());
    now.insert(QStringLiteral("Rate"), rate());
    now.insert(QStringLiteral("CanGoNext"), canGoNext());
    now.insert(QStringLiteral("CanGoPrevious"), canGoPrevious());
    now.insert(QStringLiteral("Shuffle"), shuffle());
    now.insert(QStringLiteral("LoopStatus"), loopStatus());
    now.insert(QStringLiteral("CanPlay"), canGoNext() || hasFile());
    now.insert(QStringLiteral("CanPause"), hasFile());
    now.insert(QStringLiteral("CanSeek"), hasFile());
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
