// Alphabetical order of the lists under any process locale, whole-entry lookup in that order,
// and the highlight and current entry kept across Add, Subtract and drops.

#include "app/app.h"
#include "base/fsname.h"
#include "base/name_order.h"
#include "playlist/playlist_edits.h"
#include "playlist/wildcard.h"
#include "testkit.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QFile>
#include <QLocale>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <random>

namespace {

const QStringList kGreek = {"Αγάπη", "Άλμπουμ", "Βράδυ", "Έρωτας", "Ζωή", "ήλιος", "Ιούλιος", "όνειρο", "Ωραία"};
const QStringList kLatin = {"Apple", "École", "Zebra"};
// Ties at the first level: accents, then case, then code units.
const QStringList kTies = {"album", "Album", "ALBUM", "Αλμπουμ", "ΑΛΜΠΟΥΜ", "Άλμπουμ"};

QStringList shuffled(QStringList l)
{
    std::mt19937 rng(7);
    std::shuffle(l.begin(), l.end(), rng);
    std::reverse(l.begin(), l.end());
    return l;
}

std::vector<QString> vec(const QStringList &l) { return {l.begin(), l.end()}; }

QStringList rows(const ListBox &box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out.append(box.text(i));
    return out;
}

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

struct Program {
    testkit::ScratchCwd cwd;
    testkit::DialogRecorder dialogs;
    App app{{testkit::headless()}};
    Form1 &f = app.form1();

    Program()
    {
        app.Form_Load();
        app.playlist().yieldEveryMs = 0;
    }
    void go(const QString &folder) { app.playlist().setDirPath(folder); }
    void mode(int i) { f.Option1[size_t(i)]->setChecked(true); }
};

} // namespace

class TestOrder : public QObject {
    Q_OBJECT
private slots:
    void listsSortAsReadersExpectUnderAnyLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *l : {"C", "el_GR", "en_US", "de_DE"})
            QTest::newRow(l) << QString::fromLatin1(l);
    }
    void listsSortAsReadersExpectUnderAnyLocale()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QStringList ties = {"album", "Album", "ALBUM", "Αλμπουμ", "ΑΛΜΠΟΥΜ", "Άλμπουμ"};
        for (const QStringList &expected : {kGreek, kLatin, ties, kLatin + kGreek}) {
            ListBox all; // all at once
            all.setItems(vec(shuffled(expected)));
            QCOMPARE(rows(all), expected);
            ListBox one; // one at a time
            for (const QString &s : shuffled(expected))
                one.addItem(s);
            QCOMPARE(rows(one), expected);
            ListBox merged; // half, then the rest merged in
            const QStringList mixed = shuffled(expected);
            merged.setItems(vec(mixed.mid(0, mixed.size() / 2)));
            merged.addItems(vec(mixed.mid(mixed.size() / 2)));
            QCOMPARE(rows(merged), expected);
            QStringList names = shuffled(expected);
            wildcard::sortNoCase(names);
            QCOMPARE(names, expected);
        }
        QLocale::setDefault(QLocale::system());
    }

    void lookupFollowsTheOrderAndIgnoresOnlyCase()
    {
        ListBox box;
        box.setItems(vec(shuffled(kGreek + kLatin + QStringList{"album", "Αλμπουμ"})));
        for (int i = 0; i < box.count(); ++i) {
            QCOMPARE(box.findExact(box.text(i)), i);
            QCOMPARE(box.findExact(box.text(i).toUpper()), i);
        }
        QCOMPARE(box.findExact("ALBUM"), box.findExact("album"));
        QCOMPARE(box.findExact("ΑΛΜΠΟΥΜ"), box.findExact("Αλμπουμ"));
        // An accent makes another entry: Άλμπουμ is there, Αλμπουμ too, apart.
        QVERIFY(box.findExact("Άλμπουμ") != box.findExact("Αλμπουμ"));
        QCOMPARE(box.findExact("Ecole"), -1);
        QCOMPARE(box.findExact("Αγαπη"), -1);
        QCOMPARE(box.findExact("Αγάπη "), -1);
    }

    // Lookup, Add (in one pass or two), Subtract and drops go by one rule.
    void oneRuleNamesTheSameEntry_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("case") << "/m/song.mp3"
                              << "/M/SONG.MP3" << true;
        QTest::newRow("long s") << "/m/song.mp3"
                                << "/m/ſong.mp3" << true;
        QTest::newRow("final sigma") << "/m/σοφός.mp3"
                                     << "/m/ΣΟΦΌΣ.mp3" << true;
        QTest::newRow("kelvin sign") << "/m/\u212Aey.mp3"
                                     << "/m/key.mp3" << true;
        QTest::newRow("sharp s") << "/m/straße.mp3"
                                 << "/m/STRASSE.mp3" << false;
        QTest::newRow("accent") << "/m/café.mp3"
                                << "/m/cafe.mp3" << false;
        QTest::newRow("dotless i") << "/m/ıon.mp3"
                                   << "/m/ion.mp3" << false;
        QTest::newRow("latin-1 case") << fsname::decode("/m/caf\xe9") << fsname::decode("/M/CAF\xe9") << true;
        QTest::newRow("latin-1 bytes") << fsname::decode("/m/caf\xe9") << fsname::decode("/m/caf\xc9") << false;
    }
    void oneRuleNamesTheSameEntry()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(nameorder::sameEntry(a, b), same);
        ListBox box;
        box.setItems({a});
        QCOMPARE(box.findExact(b) == 0, same); // also what a drop asks
        for (const bool twoPasses : {false, true}) {
            ListBox list;
            PlaylistEdits edits(list);
            plist::Refusal why;
            edits.addIfAbsent(a, &why);
            if (twoPasses)
                edits.apply();
            QCOMPARE(edits.addIfAbsent(b, &why), !same);
            edits.apply();
            QCOMPARE(list.count(), same ? 1 : 2);
            QVERIFY(edits.remove(b));
            edits.apply();
            QCOMPARE(list.count(), same ? 0 : 1);
        }
    }

    void fileBoxPlaylistAndCompletedListShareTheOrder()
    {
        Program p;
        const QString root = p.cwd.file("μουσική");
        for (const QString &n : shuffled(kGreek + kLatin))
            touch(root + "/" + n + ".mp3");
        touch(root + "/album.mp3");
        touch(root + "/Album.mp3");
        QStringList files;
        for (const QString &n : QStringList{"album", "Album"} + kLatin + kGreek)
            files.append(n + ".mp3");
        QCOMPARE(wildcard::matchingFiles(root, wildcard::Pattern("*.mp3")), files);

        p.go(root);
        p.mode(0);
        p.app.playlist().Command4_Click();
        // album and Album name one entry: the first listed is kept.
        QStringList entries;
        for (const QString &n : QStringList{"album"} + kLatin + kGreek)
            entries.append(root + "/" + n + ".mp3");
        QCOMPARE(rows(*p.f.List2), entries);
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(p.app.playlist().ListBoxFindString(*p.f.List2, entries[i].toUpper()), i);
        QStringList done;
        for (int i = 0; i < entries.size(); ++i)
            done.append(QFileInfo(entries[i]).fileName() + " =>" + QString::number(i));
        QCOMPARE(rows(p.app.playback().completedList()), done);
    }

    void addKeepsTheHighlightAndCurrentEntry()
    {
        Program p;
        const QString root = p.cwd.file("music");
        for (const char *n : {"b1.mp3", "b2.mp3", "b3.mp3", "d/a1.mp3", "d/a2.mp3", "d/c1.mp3"})
            touch(root + "/" + n);
        p.go(root);
        p.mode(0);
        p.app.playlist().Command4_Click();
        ListBox &list = *p.f.List2;
        QCOMPARE(list.count(), 3);
        // b1 and b2 played, b2 playing.
        list.selectOnly({0, 1});
        list.setListIndex(1);
        const QString playing = root + "/b2.mp3";
        p.go(root + "/d");
        p.app.playlist().Command4_Click(); // rows land before, between and after the played ones
        QCOMPARE(list.count(), 6);
        QCOMPARE(list.currentText(), playing);
        for (int i = 0; i < list.count(); ++i)
            QCOMPARE(list.isSelected(i), list.text(i) == root + "/b1.mp3" || list.text(i) == playing);
        // Subtract keeps the current entry where rows go (its documented reset redraws the marks).
        p.app.playlist().Command5_Click();
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.currentText(), playing);
    }
};

QTEST_MAIN(TestOrder)
#include "test_order.moc"
