#include "app/mpris_logic.h"

#include <QFileInfo>
#include <cmath>

namespace mpris {

QByteArray addressWithoutAutolaunch(const QByteArray &given, const QByteArray &runtimeDir, uint uid)
{
    if (!given.isEmpty())
        return {};
    const QByteArray dir = runtimeDir.isEmpty() ? "/run/user/" + QByteArray::number(uid) : runtimeDir;
    return "unix:path=" + dir + "/bus";
}

bool reachable(const QByteArray &address)
{
    if (address.isEmpty() || address.startsWith("autolaunch:"))
        return false;
    if (!address.startsWith("unix:path="))
        return true;
    QByteArray path = address.mid(10);
    path = path.left(path.indexOf(','));
    return QFileInfo::exists(QString::fromLocal8Bit(path));
}

double volumeFromScroll(int scroll) { return std::clamp((scroll + 4000) / 4000.0, 0.0, 1.0); }

int scrollFromVolume(double volume)
{
    if (!std::isfinite(volume))
        volume = 0;
    return int(std::lround(std::clamp(volume, 0.0, 1.0) * 4000)) - 4000;
}

QString playbackStatus(int playState)
{
    switch (playState) {
    case 2:
        return QStringLiteral("Playing");
    case 1:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

namespace {
constexpr const char *kLoop[] = {"None", "Track", "Playlist"};
}

QString loopStatus(int replayMode)
{
    return QString::fromLatin1(kLoop[replayMode >= 0 && replayMode < 3 ? replayMode : 0]);
}

int replayMode(const QString &loopStatus)
{
    for (int i = 0; i < 3; ++i)
        if (loopStatus == QLatin1String(kLoop[i]))
            return i;
    return -1;
}

double rateOnSteps(double speed) { return std::round(speed * 20) / 20; }

int previousRow(int currentRow) { return currentRow > 0 ? currentRow - 1 : -1; }

} // namespace mpris
