// The libmpv player against real media made by ffmpeg.

#include "testkit.h"

#include <QFile>
#include <QTest>
#include <clocale>
#include <mpv/client.h>

using testkit::waitFor;

class TestPlayer : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString mp3, wav, avi;

private slots:
    void initTestCase()
    {
        std::setlocale(LC_NUMERIC, "C");
        mp3 = testkit::makeMedia(dir.path(), "two.mp3", "mp3", 2);
        wav = testkit::makeMedia(dir.path(), "one.wav", "wav", 1);
        avi = testkit::makeMedia(dir.path(), "clip.avi", "avi", 1);
        QVERIFY(!mp3.isEmpty() && !wav.isEmpty() && !avi.isEmpty());
    }

    void openGivesLengthAtOnce()
    {
        MpvPlayer p(testkit::headless());
        QVERIFY(p.isValid());
        QCOMPARE(p.openCount(), 0u);
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        for (const QString &f : {mp3, wav, avi}) {
            p.setFileName(f);
            QCOMPARE(p.FileName(), f);
            QVERIFY2(p.Duration() > 0.8, qPrintable(f));
            QCOMPARE(p.CurrentPosition(), 0.0);
            QVERIFY(p.PlayState() != Player::Playing);
        }
        QCOMPARE(p.openCount(), 3u);
        QVERIFY(qAbs(MpvPlayer(testkit::headless()).Duration()) < 1e-9);
    }

    void startsAtTheChosenSecondAndPauses()
    {
        MpvPlayer p(testkit::headless());
        p.setFileName(mp3);
        p.setCurrentPosition(1);
        QVERIFY(qAbs(p.CurrentPosition() - 1.0) < 0.01);
        p.Play();
        QCOMPARE(p.PlayState(), int(Player::Playing));
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 1.2; }, 3000));
        p.Pause();
        QCOMPARE(p.PlayState(), int(Player::Paused));
        const double at = p.CurrentPosition();
        QTest::qWait(300);
        QVERIFY(qAbs(p.CurrentPosition() - at) < 0.05);
        p.Play();
        QCOMPARE(p.PlayState(), int(Player::Playing));
        p.Stop();
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QVERIFY(p.CurrentPosition() < 0.1);
    }

    void endOfFileReportsPositionEqualToLength()
    {
        MpvPlayer p(testkit::headless());
        p.setFileName(wav);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() == p.Duration(); }, 5000));
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        // And it stays so, tick after tick.
        QTest::qWait(200);
        QCOMPARE(p.CurrentPosition(), p.Duration());
    }

    void unplayableFilesLookEnded()
    {
        MpvPlayer p(testkit::headless());
        p.setFileName(dir.filePath("missing.mp3"));
        QCOMPARE(p.CurrentPosition(), p.Duration());
        QFile junk(dir.filePath("junk.mp3"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        p.setFileName(junk.fileName());
        QCOMPARE(p.CurrentPosition(), p.Duration());
        p.Play(); // nothing to play: must not throw or hang
        QVERIFY(p.PlayState() != Player::Playing);
        // A good file after a bad one opens normally.
        p.setFileName(mp3);
        QVERIFY(p.Duration() > 1.5);
        QVERIFY(p.CurrentPosition() != p.Duration());
    }

    void volumeReadsBackAsSet()
    {
        MpvPlayer p(testkit::headless());
        for (int v : {0, -25, -600, -4000}) {
            p.setVolume(v);
            QCOMPARE(p.Volume(), v);
        }
        QVERIFY(qAbs(MpvPlayer::mpvVolumeFor(-600) - 79.43) < 0.01);
        QCOMPARE(MpvPlayer::mpvVolumeFor(0), 100.0);
    }

    // A player made on first use has no core until it opens a file; what was set before
    // (the volume) reaches the core, and it then plays like any other.
    void coreOnFirstUse()
    {
        MpvPlayer p(testkit::headless(), nullptr, true);
        QVERIFY(!p.coreCreated());
        p.setVolume(-600);
        QCOMPARE(p.PlayState(), int(Player::Stopped));
        QCOMPARE(p.CurrentPosition(), 0.0);
        QVERIFY(p.extent().isEmpty());
        QVERIFY(!p.coreCreated());
        p.setFileName(mp3);
        QVERIFY(p.coreCreated());
        QVERIFY(p.Duration() > 1.5);
        double level = 0;
        QVERIFY(mpv_get_property(p.handle(), "volume", MPV_FORMAT_DOUBLE, &level) >= 0);
        QVERIFY(qAbs(level - 79.43) < 0.01);
        p.Play();
        QVERIFY(waitFor([&] { return p.CurrentPosition() > 0.2; }, 3000));
    }
};

QTEST_GUILESS_MAIN(TestPlayer)
#include "test_player.moc"
