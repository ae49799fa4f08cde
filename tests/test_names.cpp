// File names: held byte for byte when they are not UTF-8, from the folder listing through the
// playlist, the player and the session file; patterns and the folder listing; alphabetical
// order under any locale; and the sorted list box.

#include "app/session.h"
#include "base/fsname.h"
#include "base/name_order.h"
#include "playback/mpv_player.h"
#include "playlist/playlist.h"
#include "playlist/playlist_edits.h"
#include "playlist/wildcard.h"
#include "testkit.h"
#include "ui/browser_boxes.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QCollator>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <random>
#include <sys/stat.h>

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

} // namespace

class TestNames : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void bytesComeBackAsTheyWere_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8"); // valid UTF-8 throughout: no byte held
        const std::pair<const char *, bool> cases[] = {{"plain.mp3", true},
                                                       {"\xe0\xa0\x80 \xdf\xbf", true},
                                                       {"\xf0\x9f\x8e\xb5 ok", true},
                                                       {"caf\xe9.mp3", false} /* Latin-1 */,
                                                       {"\xc0\xaf", false} /* overlong */,
                                                       {"\xed\xa0\x80", false} /* an encoded surrogate */,
                                                       {"end\xe2\x82", false} /* cut short */,
                                                       {"\xf4\x90\x80\x80", false} /* past U+10FFFF */,
                                                       {"\xff\xfe\x80", false}};
        for (const auto &[bytes, utf8] : cases)
            QTest::newRow(bytes) << QByteArray(bytes) << utf8;
    }
    void bytesComeBackAsTheyWere()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        const QString name = fsname::decode(bytes);
        QCOMPARE(fsname::encode(name), bytes);
        QCOMPARE(fsname::encodedSize(name), bytes.size());
        QCOMPARE(name == QString::fromUtf8(bytes), utf8);
        QCOMPARE(fsname::shown(name) == name, utf8);
    }

    void heldBytesAndUrls()
    {
        // A pair is a character, though its low half looks like a held byte.
        const QString pair = QString(QChar(0xD83C)) + QChar(0xDCE9);
        QCOMPARE(fsname::encode(pair), QByteArray("\xf0\x9f\x83\xa9"));
        QCOMPARE(fsname::shown(pair), pair);
        const QString lone = QString(QChar(0xD800)) + QLatin1Char('a'); // a surrogate of no byte
        QCOMPARE(fsname::encode(lone),
                 QByteArray("\xef\xbf\xbd"
                            "a"));
        QCOMPARE(fsname::encodedSize(lone), 4);
        // A dropped URL carries the same bytes percent-encoded; a share keeps Qt's own form.
        const QUrl dropped(QStringLiteral("file:///old/caf%E9%20%CE%B1.mp3"));
        QCOMPARE(fsname::encode(fsname::fromLocalUrl(dropped)), QByteArray("/old/caf\xe9 \xce\xb1.mp3"));
        QCOMPARE(fsname::fromLocalUrl(QUrl(QStringLiteral("file://nas/music/a%20b.mp3"))),
                 QStringLiteral("//nas/music/a b.mp3"));
    }

    void patternsAndListing()
    {
        const wildcard::Pattern p(QStringLiteral("*.mid;*.rmi;*.midi; t?.MP*;*.og*"));
        for (const char *name : {"a.mid", "B.MIDI", "x y.Rmi", "t1.mp3", "T2.mP", "x.OGG"})
            QVERIFY2(p.matches(QString::fromLatin1(name)), name);
        for (const char *name : {"a.mid.txt", "amid", "xt1.mp3", "t12.mp3"})
            QVERIFY2(!p.matches(QString::fromLatin1(name)), name);
        QVERIFY(wildcard::Pattern("*.dvr-ms").matches(u"show.DVR-MS"));
        QVERIFY(!wildcard::Pattern("").matches(u"a.mp3"));

        QTemporaryDir dir;
        for (const char *n : {"B.mp3", "A.MP3", ".hidden.mp3", "c.wav", "a2.mp3"})
            testkit::touch(dir.filePath(n));
        QVERIFY(QDir(dir.path()).mkdir("folder.mp3"));
        QVERIFY(QFile::link(dir.filePath("c.wav"), dir.filePath("link.mp3")));
        bool ok = false;
        QCOMPARE(wildcard::matchingFiles(dir.path(), wildcard::Pattern("*.mp3"), &ok),
                 (QStringList{"A.MP3", "a2.mp3", "B.mp3", "link.mp3"}));
        QVERIFY(ok);
        wildcard::matchingFiles(dir.filePath("nope"), wildcard::Pattern("*"), &ok);
        QVERIFY(!ok);
        QCOMPARE(wildcard::joinPath("/", "x"), QStringLiteral("/x"));
        QCOMPARE(wildcard::joinPath("/a", "x"), QStringLiteral("/a/x"));
    }

    void listedAddedPlayedAndSavedByteForByte()
    {
        testkit::Fixture fx;
        const QByteArray folder = QFile::encodeName(fx.cwd.file("old"));
        QVERIFY(QDir().mkpath(fx.cwd.file("old")));
        const QString made = testkit::makeMedia(fx.cwd.file("old"), "made.mp3", "mp3", 1.0);
        // A Windows-1253 folder holding a Latin-1 file.
        const QByteArray sub = folder + "/\xc4\xdf\xf3\xea\xef\xe9";
        QCOMPARE(::mkdir(sub.constData(), 0700), 0);
        const QByteArray raw = sub + "/caf\xe9 \xe1\xe3\xdc\xf0\xe7.mp3";
        QCOMPARE(::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
        App &app = fx.start();
        Form1 &f = fx.form();
        QVERIFY(app.playlist().setDirPath(fx.cwd.file("old")));
        // The folder box lists the folder and goes into it.
        const int row = f.Dir1->count() - 1;
        QCOMPARE(fsname::encode(f.Dir1->item(row)->data(Qt::UserRole).toString()), sub);
        QVERIFY(f.Dir1->item(row)->text().contains(QChar::ReplacementCharacter));
        QVERIFY(app.playlist().setDirPath(fsname::decode(sub)));
        f.Option1[0]->setChecked(true);
        app.playlist().Command4_Click();
        QCOMPARE(f.List2->count(), 1);
        const QString entry = f.List2->text(0);
        QCOMPARE(fsname::encode(entry), raw);
        // Shown with a stand-in, never as the bytes' wrong letters.
        QVERIFY(f.List2->model()->index(0, 0).data().toString().contains(QChar::ReplacementCharacter));
        MpvPlayer player(testkit::headless());
        player.setFileName(entry);
        QVERIFY(player.Duration() > 0.5);
        app.session().SaveState();

        // Read back by the next run, the entry names the same file.
        fx.start();
        QCOMPARE(fsname::encode(fx.form().List2->text(0)), raw);
    }

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
        for (const QStringList &expected : {kGreek, kLatin, kTies, kLatin + kGreek}) {
            ListBox all, one, merged; // all at once, one at a time, half and then the rest
            all.setItems(shuffled(expected));
            for (const QString &s : shuffled(expected))
                one.addItem(s);
            const QStringList mixed = shuffled(expected);
            merged.setItems(mixed.mid(0, mixed.size() / 2));
            merged.addItems(mixed.mid(mixed.size() / 2));
            QStringList names = shuffled(expected);
            wildcard::sortNoCase(names);
            for (const QStringList &got : {testkit::rows(all), testkit::rows(one), testkit::rows(merged), names})
                QCOMPARE(got, expected);
        }
        // Canonically equal forms of é sort by their code units, the same way every time.
        QStringList forms{QStringLiteral("\u00e9"), QStringLiteral("e\u0301")};
        wildcard::sortNoCase(forms);
        QCOMPARE(forms.first(), QStringLiteral("e\u0301"));
        QLocale::setDefault(QLocale::system());
    }

    // Lookup, Add (in one pass or two), Subtract and drops go by one rule.
    void oneRuleNamesTheSameEntry_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        const std::tuple<const char *, const char *, const char *, bool> cases[]
            = {{"case", "/m/song.mp3", "/M/SONG.MP3", true},
               {"long s", "/m/song.mp3", "/m/ſong.mp3", true},
               {"final sigma", "/m/σοφός.mp3", "/m/ΣΟΦΌΣ.mp3", true},
               {"sharp s", "/m/straße.mp3", "/m/STRASSE.mp3", false},
               {"accent", "/m/café.mp3", "/m/cafe.mp3", false},
               {"dotless i", "/m/ıon.mp3", "/m/ion.mp3", false},
               {"latin-1 case", "/m/caf\xe9", "/M/CAF\xe9", true},
               {"latin-1 bytes", "/m/caf\xe9", "/m/caf\xc9", false}};
        for (const auto &[row, a, b, same] : cases)
            QTest::newRow(row) << fsname::decode(a) << fsname::decode(b) << same;
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
        // A gathered add taken back before it is applied.
        ListBox list;
        PlaylistEdits edits(list);
        plist::Refusal why;
        edits.addIfAbsent(a, &why);
        QCOMPARE(edits.remove(b), same);
        edits.apply();
        QCOMPARE(list.count(), same ? 0 : 1);
    }

    // A file that is there but does not play is not missing, whatever its name's bytes.
    void unplayableFileIsNotMissing()
    {
        testkit::Fixture fx;
        const QByteArray path = QFile::encodeName(fx.cwd.path()) + "/caf\xe9.mp3";
        FILE *junk = std::fopen(path.constData(), "wb");
        QVERIFY(junk && std::fputs("not a sound", junk) >= 0);
        std::fclose(junk);
        fx.start(testkit::SessionFile{{fsname::decode(path)}, 0});
        QVERIFY(testkit::waitFor([&] { return fx.form().Text2->text().contains("Cannot open file"); }, 10000));
    }

    // The cheap key of ASCII names gives the collator's own order, among themselves and beside
    // names it cannot key (accents, Greek, letters equal to ASCII ones but for their width).
    void cheapKeysOrderAsTheCollator()
    {
        QCollator icu(QLocale(QLocale::English, QLocale::UnitedStates)), caseToo(icu.locale());
        icu.setCaseSensitivity(Qt::CaseInsensitive);
        // The whole order, from the collator alone: first level, then case, then code units.
        auto icuOrder = [&](const QString &a, const QString &b) {
            int c = icu.compare(nameorder::entryKey(a), nameorder::entryKey(b));
            c = c ? c : caseToo.compare(a, b);
            return c ? c : (a < b ? -1 : (b < a ? 1 : 0));
        };
        auto sign = [](int c) { return (c > 0) - (c < 0); };
        QString ascii;
        for (char16_t c = 0x20; c <= 0x7e; ++c)
            ascii += QChar(c);
        const QString other = QStringLiteral("éΑωﬁＡ\u00a0");
        std::mt19937 rng(7);
        auto pick = [&](const QString &from) { return from[qsizetype(rng() % from.size())]; };
        auto name = [&] {
            QString n;
            for (unsigned i = rng() % 9; i > 0; --i)
                n += rng() % 20 ? pick(ascii) : pick(other);
            return n;
        };
        for (int i = 0; i < 40000; ++i) {
            const QString a = name();
            QString b = i % 3 == 0 ? name() : a.left(qsizetype(rng() % (a.size() + 1))); // a prefix, or close to a
            if (i % 3 == 2)
                b += name();
            if (i % 7 == 6)
                b = rng() % 2 ? a.toUpper() : a.toLower(); // case ties
            const QString at = a + QStringLiteral(" | ") + b;
            const int want = icu.compare(nameorder::entryKey(a), nameorder::entryKey(b));
            QVERIFY2(sign(want) == sign(nameorder::key(a).compare(nameorder::key(b))), qPrintable(at));
            QVERIFY2(sign(icuOrder(a, b)) == sign(nameorder::compare(a, b)), qPrintable(at));
        }
        // A list of ASCII names only is sorted and checked on the cheap keys alone, ties (case) included.
        QStringList names;
        for (int i = 0; i < 3000; ++i) {
            QString n;
            for (unsigned k = rng() % 6; k > 0; --k)
                n += pick(QStringLiteral("aAbB -._0"));
            names += n;
        }
        ListBox box;
        box.setItems(names);
        std::stable_sort(names.begin(), names.end(),
                         [&](const QString &a, const QString &b) { return icuOrder(a, b) < 0; });
        QCOMPARE(testkit::rows(box), names);
        QVERIFY(nameorder::inOrder(names));
        names.swapItemsAt(0, names.size() - 1);
        QVERIFY(!nameorder::inOrder(names));
    }

    void lookupFollowsTheOrderAndIgnoresOnlyCase()
    {
        ListBox box, again;
        box.setItems(shuffled(kGreek + kLatin + QStringList{"album", "Αλμπουμ"}));
        // Again from rows already in order, as a saved list comes back: no sort, keys made on demand.
        again.setItems(testkit::rows(box));
        for (const ListBox *b : {&box, &again}) {
            for (int i = 0; i < b->count(); ++i)
                QCOMPARE(b->findExact(b->text(i)), i);
            // An accent, a blank or a prefix makes another entry.
            for (const char *missing : {"Ecole", "Αγαπη", "Αγάπη ", "Zebr"})
                QCOMPARE(b->findExact(QString::fromUtf8(missing)), -1);
        }
    }

    // The playing row's spoken name says so wherever the cursor goes, its text unchanged; through
    // every edit of Add (addItems), Subtract (keepItems) and the search, the model keeps its
    // contract and the current row and the highlight (played rows) stay on their rows.
    void listModelKeepsTheModelContractThroughEveryEdit()
    {
        ListBox box;
        QAbstractItemModelTester tester(box.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        box.enableHorizontalScroll();
        box.setItems({"/m/c", "/m/a", "/m/e"});
        box.setPlayingEntry("/m/c");
        box.setListIndex(1);
        box.selectOnly({0, 2});
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&box);
        QVERIFY(list);
        const auto name = [&](int row) { return list->child(row)->text(QAccessible::Name); };
        QCOMPARE(name(1), QStringLiteral("/m/c - Παίζει - Playing"));
        QCOMPARE(name(0), QStringLiteral("/m/a"));
        QCOMPARE(box.text(1), QStringLiteral("/m/c"));
        box.setListIndex(0);
        QCOMPARE(name(1), QStringLiteral("/m/c - Παίζει - Playing"));
        QCOMPARE(name(0), QStringLiteral("/m/a"));
        box.setListIndex(1);
        const auto expect = [&](const QString &current, const QStringList &selected) {
            QCOMPARE(box.currentText(), current);
            for (int i = 0; i < box.count(); ++i)
                QCOMPARE(box.isSelected(i), selected.contains(box.text(i)));
        };
        expect("/m/c", {"/m/a", "/m/e"});
        box.addItem("/m/b");
        box.addItems({"/m/d", "/m/0", "/m/f"});
        expect("/m/c", {"/m/a", "/m/e"});
        box.keepItems({1, 0, 1, 1, 0, 1, 1});
        expect("/m/c", {"/m/e"});
        box.removeItem(0);
        expect("/m/c", {"/m/e"});
        box.setListIndex(0); // a row made current is not selected by it
        expect("/m/b", {"/m/e"});
    }

    // A screen reader's toggle on a check-box row does what Space does, to the same row.
    void checkRowsToggleFromAScreenReaderAsWithSpace()
    {
        ListBox box(ListBox::Selection::Checks);
        box.setItems({"/m/b", "/m/c"});
        box.show();
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&box);
        QVERIFY(list && list->childCount() == 2);
        const auto toggle = [&](int row) {
            QVERIFY(list->child(row) && list->child(row)->actionInterface());
            list->child(row)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        };
        toggle(1);
        QVERIFY(box.isSelected(1) && !box.isSelected(0) && list->child(1)->state().checked);
        box.setFocus();
        box.setListIndex(1);
        QTest::keyClick(&box, Qt::Key_Space);
        QVERIFY(!box.isSelected(1) && !list->child(1)->state().checked);
        // A row coming in moves the others: the interfaces follow the rows, not the indexes.
        box.addItem("/m/a");
        toggle(0);
        QVERIFY(box.isSelected(0) && !box.isSelected(1) && !box.isSelected(2));
    }
};

QTEST_MAIN(TestNames)
#include "test_names.moc"
