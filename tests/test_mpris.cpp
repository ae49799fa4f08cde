// MPRIS2 media control, driven by playerctl over a private session bus (dbus-run-session).

#include "app/mpris.h"
#include "app/mpris_logic.h"
#include "app/shell.h"
#include "playback/playback.h"
#include "playback/speed.h"
#include "state/module1.h"
#include "tags/id3v1.h"
#include "testkit.h"
#include "ui/form1.h"

#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <clocale>

using testkit::waitFor;

namespace {

// A tool run while our event loop keeps serving the bus; its output, simplified.
QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 15000)) {
        p.kill();
        p.waitForFinished();
        return program + QStringLiteral(" hung");
    }
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

QString ctl(const QStringList &args) { return run("playerctl", QStringList{"-p", "velloran"} + args); }

// A player property through dbus-send; the last word of the reply, which is a Get's value.
QString busProperty(const QString &service, const QString &method, const QString &name, const QStringList &value = {})
{
    const QStringList args{"--session",
                           "--print-reply",
                           "--dest=" + service,
                           "/org/mpris/MediaPlayer2",
                           "org.freedesktop.DBus.Properties." + method,
                           "string:org.mpris.MediaPlayer2.Player",
                           "string:" + name};
    return run("dbus-send", args + value).split(QLatin1Char(' ')).last();
}

// A method of the player interface, with or without waiting for the reply.
void call(const QString &method, bool reply, const QStringList &args = {})
{
    const QStringList how{"--session", reply ? "--print-reply" : "--type=method_call"};
    run("dbus-send",
        how
            + QStringList{"--dest=org.mpris.MediaPlayer2.velloran", "/org/mpris/MediaPlayer2",
                          "org.mpris.MediaPlayer2.Player." + method}
            + args);
}

} // namespace

class TestMpris : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void playerctlControls()
    {
        if (!mpris::reachable(qgetenv("DBUS_SESSION_BUS_ADDRESS")))
            QFAIL("no session bus: run under dbus-run-session");
        testkit::Fixture fx;
        // Two files: the ticker may start the first by itself once the list fills, and Next
        // must still find one not played.
        const QStringList files{testkit::makeMedia(fx.cwd.path(), "one.mp3", "mp3", 20),
                                testkit::makeMedia(fx.cwd.path(), "two.mp3", "mp3", 20)};
        QCOMPARE(id3v1::writeFile(files[0], {"Ρεμπέτικο", "Ένας", "", "", "", -1}), id3v1::Saved::Appended);

        App &app = fx.start();
        QVERIFY(app.shell().mediaControl());
        QCOMPARE(ctl({"status"}), QStringLiteral("Stopped"));

        fx.fill(files);

        // A follower sees the changes the program makes by itself.
        QProcess follow;
        follow.start(QStringLiteral("playerctl"), {"-p", "velloran", "--follow", "status"});

        // Next: the same road as the Next button; the metadata follow.
        ctl({"next"});
        Player &player = app.playback().watchedPlayer();
        QVERIFY(waitFor([&] { return player.PlayState() == Player::Playing; }, 10000));
        const QString playing = player.FileName();
        const bool tagged = playing == files[0];
        QCOMPARE(ctl({"metadata", "title"}), tagged ? QStringLiteral("Ρεμπέτικο") : QFileInfo(playing).fileName());
        QCOMPARE(ctl({"metadata", "artist"}), tagged ? QStringLiteral("Ένας") : QString());
        QCOMPARE(ctl({"metadata", "xesam:url"}), QUrl::fromLocalFile(playing).toString());
        const qlonglong length = ctl({"metadata", "mpris:length"}).toLongLong();
        QVERIFY2(length > 19'000'000 && length < 21'000'000, qPrintable(QString::number(length)));

        // The follower sees a pause made without it; play-pause plays again.
        player.Pause();
        QByteArray followed;
        QVERIFY(waitFor([&] { return (followed += follow.readAllStandardOutput()).contains("Paused"); }, 5000));
        follow.kill();
        follow.waitForFinished();
        ctl({"play-pause"});
        QVERIFY(waitFor([&] { return player.PlayState() == Player::Playing; }, 5000));
        QCOMPARE(ctl({"status"}), QStringLiteral("Playing"));

        // Position: absolute, then relative.
        ctl({"position", "12"});
        QVERIFY(waitFor([&] { return std::abs(player.CurrentPosition() - 12) < 0.5; }, 5000));
        const double pos = ctl({"position"}).toDouble();
        QVERIFY2(std::abs(pos - 12) < 0.5, qPrintable(QString::number(pos)));
        ctl({"position", "5-"});
        QVERIFY(waitFor([&] { return std::abs(player.CurrentPosition() - 7) < 0.5; }, 5000));

        // Volume both ways through the scroll bar.
        ctl({"volume", "0.5"});
        QCOMPARE(app.form1().HScroll1->value(), -2000);
        app.playback().setHScroll1(-1000);
        QCOMPARE(ctl({"volume"}).toDouble(), 0.75);

        // Rate is the listening speed both ways, kept in its range.
        const QString service = app.shell().mediaControl()->serviceName();
        QCOMPARE(busProperty(service, "Get", "MinimumRate").toDouble(), 0.5);
        QCOMPARE(busProperty(service, "Get", "MaximumRate").toDouble(), 3.0);
        busProperty(service, "Set", "Rate", {"variant:double:1.5"});
        QCOMPARE(app.m.playSpeed, 1.5);
        app.speed().setSpeed(0.65);
        QCOMPARE(busProperty(service, "Get", "Rate").toDouble(), 0.65);
        app.speed().setSpeed(1);
        app.speed().mnuspeedslower_Click();
        QVERIFY(app.shell().mediaControl()->rate() == 0.95);

        // Stop.
        ctl({"stop"});
        QVERIFY(waitFor([&] { return player.PlayState() == Player::Stopped; }, 5000));
    }

    void commandsWithAndWithoutReply_data()
    {
        QTest::addColumn<bool>("reply");
        QTest::newRow("reply") << true;
        QTest::newRow("no reply") << false;
    }
    void commandsWithAndWithoutReply()
    {
        QFETCH(bool, reply);
        testkit::Fixture fx;
        const QString dir = fx.cwd.path();
        const QStringList files{testkit::makeMedia(dir, "a.mp3", "mp3", 20),
                                testkit::makeMedia(dir, "b.wav", "wav", 20), dir + "/c.mp3"};
        // Tags of its own (ID3v2) and a cover beside it.
        run("ffmpeg",
            {"-loglevel", "error", "-i", files[0], "-c", "copy", "-metadata", "album=Δίσκος", "-metadata",
             "artist=Άλλος", files[2]});
        testkit::touch(dir + "/Cover.jpg");
        App &app = fx.start();
        Mpris &mp = *app.shell().mediaControl();
        fx.fill(files.mid(0, 2));
        Player &player = app.playback().watchedPlayer();

        // A file given by URI is added as a drop is, and plays.
        call("OpenUri", reply, {"string:" + QUrl::fromLocalFile(files[2]).toString()});
        QVERIFY(waitFor([&] { return player.FileName() == files[2] && player.PlayState() == Player::Playing; }, 10000));
        QCOMPARE(ctl({"metadata", "album"}), QStringLiteral("Δίσκος"));
        QCOMPARE(ctl({"metadata", "artist"}), QStringLiteral("Άλλος"));
        QCOMPARE(ctl({"metadata", "mpris:artUrl"}), QUrl::fromLocalFile(dir + "/Cover.jpg").toString());

        // Serial Previous: the entry above; at the top there is none.
        call("Previous", reply);
        QVERIFY(waitFor([&] { return player.FileName() == files[1]; }, 10000));
        QVERIFY(mp.canGoPrevious());
        call("PlayPause", reply);
        QVERIFY(waitFor([&] { return player.PlayState() == Player::Paused; }, 5000));
        call("Previous", reply);
        QVERIFY(waitFor([&] { return player.FileName() == files[0]; }, 10000));
        QVERIFY(!mp.canGoPrevious());

        // Shuffle and LoopStatus are the menus' modes, both ways.
        const QString service = mp.serviceName();
        busProperty(service, "Set", "Shuffle", {"variant:boolean:true"});
        QVERIFY(app.form1().mnumorerandom->isChecked());
        QVERIFY(mp.canGoPrevious()); // two played in this run before
        for (int mode : {1, 2, 0}) {
            busProperty(service, "Set", "LoopStatus", {"variant:string:" + mpris::loopStatus(mode)});
            QCOMPARE(app.m.replayMode, mode);
            QVERIFY(app.form1().mnumorereplayn[size_t(mode)]->isChecked());
        }
        app.playback().mnumorereplayn_Click(1);
        QCOMPARE(busProperty(service, "Get", "LoopStatus"), QStringLiteral("\"Track\""));

        // Shuffle's Previous: the one played before in this run.
        call("Previous", reply);
        QVERIFY(waitFor([&] { return player.FileName() == files[1]; }, 10000));

        // Next at the end of the list answers first; the box comes after.
        app.playback().mnumorereplayn_Click(0);
        std::fill(app.m.playedMarks.begin(), app.m.playedMarks.end(), kOn);
        mp.next();
        QVERIFY(fx.dialogs.messages.empty());
        QVERIFY(waitFor([&] { return !fx.dialogs.messages.empty(); }, 5000));
    }
};

QTEST_MAIN(TestMpris)
#include "test_mpris.moc"
