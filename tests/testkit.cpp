#include "testkit.h"
#include "playback/playback.h"
#include "ui/form4.h"

#include "ui/form1.h"
#include "ui/listbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <filesystem>

namespace testkit {

MpvPlayer::Options headless() { return {{"vo", "null"}, {"ao", "null"}}; }

QString makeMedia(const QString &dir, const QString &name, const QString &kind, double seconds, const QString &extra)
{
    const QString out = QDir(dir).filePath(name);
    const QString dur = QString::number(seconds);
    const QString tone = QStringLiteral("-f lavfi -i sine=frequency=440:duration=%1").arg(dur);
    QString line = QStringLiteral("-loglevel error -y ") + tone;
    if (kind == QLatin1String("avi") || kind == QLatin1String("mkv") || kind == QLatin1String("hd"))
        line = QStringLiteral("-loglevel error -y -f lavfi -i testsrc=size=%1:rate=10:duration=%2 %3"
                              " -c:v mpeg4 -c:a mp3 -shortest")
                   .arg(kind == QLatin1String("hd") ? "1920x1080" : "160x120", dur, tone);
    else if (kind == QLatin1String("tracks"))
        line = QStringLiteral("-loglevel error -y -f lavfi -i testsrc=size=160x120:rate=10:duration=%1 %2"
                              " -f lavfi -i sine=frequency=880:duration=%1 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp3"
                              " -metadata:s:a:0 language=eng -metadata:s:a:1 language=ell -metadata:s:a:1 title=Two")
                   .arg(dur, tone);
    else if (kind == QLatin1String("mp3"))
        line += QStringLiteral(" -c:a libmp3lame -q:a 9");
    line += QLatin1Char(' ') + extra;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), line.split(QLatin1Char(' '), Qt::SkipEmptyParts) << out);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("ffmpeg could not make %s: %s", qPrintable(out), p.readAllStandardError().constData());
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
    std::optional<QString> a;
    if (!inputs.empty()) {
        a.swap(inputs.front());
        inputs.pop_front();
    }
    return a;
}

ScratchCwd::ScratchCwd()
    : m_old(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    qputenv("XDG_CONFIG_HOME", QDir(m_dir.path()).filePath(".config").toUtf8());
}

ScratchCwd::~ScratchCwd()
{
    QDir::setCurrent(m_old);
    // By the bytes: Qt's own removal reads names as text and leaves those that are not UTF-8.
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void touch(const QString &path) { writeFile(path, {}); }

QStringList rows(const ListBox &box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out.append(box.text(i));
    return out;
}

qint64 bytesWrittenSoFar()
{
    const QByteArray io = readAll(QStringLiteral("/proc/self/io"));
    const qsizetype at = io.indexOf("wchar:");
    return at < 0 ? -1 : io.mid(at + 6, io.indexOf('\n', at) - at - 6).trimmed().toLongLong();
}

void writeSession(const QString &folder, const SessionFile &s)
{
    const state::Snapshot snap{.drive = "/",
                               .folder = folder,
                               .lastIndex = s.last,
                               .resumePos = s.pos,
                               .currentEntry = s.entries.value(s.last),
                               .previewOn = s.preview,
                               .previewSecs = s.previewSecs,
                               .playedMarks = std::vector<int16_t>(size_t(s.entries.size())),
                               .replayMode = s.replay,
                               .entries = s.entries,
                               .videoMode = s.video};
    writeFile(QDir(folder).filePath("velloran.txt"), state::encode(snap));
}

App::Options ScriptedMain::options()
{
    return {{}, [this] {
                auto p = std::make_unique<ScriptedPlayer>();
                p->duration = duration;
                player = p.get();
                return std::unique_ptr<Player>(std::move(p));
            }};
}

App &Fixture::start(const std::optional<SessionFile> &session)
{
    app.reset();
    if (session)
        writeSession(cwd.path(), *session);
    app = std::make_unique<App>(m_scripted ? scripted.options() : App::Options{headless() + playerOptions, {}});
    app->Form_Load();
    if (m_scripted)
        app->form1().Timer1->stop();
    return *app;
}

Form1 &Fixture::form() const { return app->form1(); }

void Fixture::fill(const QStringList &files) const
{
    app->form1().List2->setItems(files);
    app->playback().resetMarksToPlaylist();
    app->playback().put_form4();
}

void Fixture::pick(const QString &file) const
{
    const int row = app->form1().List2->findExact(file);
    if (row < 0)
        qFatal("%s is not in the playlist", qPrintable(file));
    app->form1().List2->setListIndex(row);
    app->playback().List2_Click();
    app->playback().List2_DblClick();
}

state::Records Fixture::saved() const { return state::Records(readAll(cwd.file("velloran.txt"))); }

} // namespace testkit
