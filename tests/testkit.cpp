#include "testkit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace testkit {

MpvPlayer::Options headless() { return {{"vo", "null"}, {"ao", "null"}}; }

QString makeMedia(const QString &dir, const QString &name, const QString &kind, double seconds)
{
    const QString out = QDir(dir).filePath(name);
    const QString dur = QString::number(seconds);
    QStringList args{"-loglevel", "error", "-y"};
    if (kind == QLatin1String("avi") || kind == QLatin1String("mkv") || kind == QLatin1String("hd")) {
        const char *size = kind == QLatin1String("hd") ? "1920x1080" : "160x120";
        args << "-f"
             << "lavfi"
             << "-i" << QStringLiteral("testsrc=size=%1:rate=10:duration=%2").arg(size, dur) << "-f"
             << "lavfi"
             << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(dur) << "-c:v"
             << "mpeg4"
             << "-c:a"
             << "mp3"
             << "-shortest";
    } else {
        args << "-f"
             << "lavfi"
             << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(dur);
        if (kind == QLatin1String("mp3"))
            args << "-c:a"
                 << "libmp3lame"
                 << "-q:a"
                 << "9";
    }
    args << out;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return out;
}

dialogs::Answer DialogRecorder::msgBox(const QString &text, dialogs::Style style, const QString &title)
{
    messages.push_back({text, style, title});
    if (answers.empty())
        return dialogs::Answer::Ok;
    const dialogs::Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<QString> DialogRecorder::inputBox(const QString &prompt, const QString &, const QString &)
{
    prompts.push_back(prompt);
    if (inputs.empty())
        return std::nullopt;
    auto a = inputs.front();
    inputs.pop_front();
    return a;
}

ScratchCwd::ScratchCwd()
    : m_old(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    qputenv("XDG_CONFIG_HOME", QDir(m_dir.path()).filePath(".config").toUtf8());
}

ScratchCwd::~ScratchCwd() { QDir::setCurrent(m_old); }

bool waitFor(const std::function<bool()> &pred, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

qint64 bytesWrittenSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace testkit
