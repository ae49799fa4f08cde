#include "tags/tags.h"

#include "base/offthread.h"
#include "state/module1.h"
#include "tags/id3v1.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// The tag as the rest of the program keeps it: the fields, with the genre as its byte.
Mp3Tag recordOf(const id3v1::Fields &tag)
{
    return {QStringLiteral("TAG"),
            tag.title,
            tag.artist,
            tag.album,
            tag.year,
            tag.comment,
            QString(QChar(id3v1::genreByteForRow(tag.genreRow)))};
}
} // namespace

QStringList Tags::genreTable()
{
    return {
        "Blues",       "Classic Rock", "Country",       "Dance",      "Disco",        "Funk",       "Grunge",
        "Hip -Hop",    "Jazz",         "Metal",         "New Age",    "Oldies",       "Other",      "Pop",
        "R&b",         "Rap",          "Reggae",        "Rock",       "Techno",       "Industrial", "Alternative",
        "Ska",         "Death Metal",  "Pranks",        "Soundtrack", "Euro -Techno", "Ambient",    "Trip -Hop",
        "Vocal",       "Jazz Funk",    "Fusion",        "Trance",     "Classical",    "Λαϊκό",      "Ρεμπέτικα",
        "Παραδοσιακά", "Ελαφρολαϊκά",  "Εκκλησιαστικά", "Ομιλίες",
    };
}

void Tags::fillGenres()
{
    m.genres = genreTable();
    f.Combo1->addItems(m.genres);
    f.Combo1->setCurrentIndex(-1);
}

void Tags::readTag()
{
    // A file without a record, or one that cannot be read, leaves the boxes empty; so does
    // a read that returns after another entry was chosen.
    const quint64 me = ++reads;
    const QString file = m.currentFile;
    offthread::run<std::optional<id3v1::Fields>>(
        &inbox, [file] { return id3v1::readFile(file); },
        [this, me](const std::optional<id3v1::Fields> &tag) {
            if (tag && me == reads)
                showTag(*tag);
        },
        offthread::kFastMs);
}

void Tags::showTag(const id3v1::Fields &tag)
{
    m.mp3Tag = recordOf(tag);
    const QString *fields[] = {&tag.title, &tag.artist, &tag.album, &tag.year, &tag.comment};
    for (size_t i = 0; i < 5; ++i)
        f.Text1[i]->setText(id3v1::shownText(*fields[i]));
    f.Combo1->setCurrentIndex(tag.genreRow);
}

void Tags::mnumoretags_Click()
{
    if (m.currentFile.isEmpty())
        return;
    m.currentFile = f.List2->currentText();
    if (m.currentFile.isEmpty())
        return;
    if (m.currentFile == openFile()) {
        dialogs::MsgBox(
            QStringLiteral("Δεν μπορείτε να σώσετε σε ένα ανοιχτό αρχείο. \r\n\r\n You can't save to an open file"),
            dialogs::Style::OkCritical, QStringLiteral("MP3 Λάθος κατά την αποθήκευση - Tag Save Error"));
        return;
    }

    id3v1::Fields tag;
    tag.title = id3v1::fitField(f.Text1[0]->text(), id3v1::kTitle);
    tag.artist = id3v1::fitField(f.Text1[1]->text(), id3v1::kArtist);
    tag.album = id3v1::fitField(f.Text1[2]->text(), id3v1::kAlbum);
    tag.year = id3v1::fitField(f.Text1[3]->text(), id3v1::kYear);
    tag.comment = id3v1::fitField(f.Text1[4]->text(), id3v1::kComment);
    tag.genreRow = f.Combo1->currentIndex();
    m.mp3Tag = recordOf(tag);

    QString why;
    switch (id3v1::writeFile(m.currentFile, tag)) {
    case id3v1::Saved::Updated:
    case id3v1::Saved::Appended:
        return;
    case id3v1::Saved::NotAFile:
        why = QStringLiteral("Δεν είναι αρχείο - Not a file");
        break;
    case id3v1::Saved::NotWritable:
        why = QStringLiteral("Δεν επιτρέπεται η εγγραφή - The file cannot be written");
        break;
    case id3v1::Saved::NoSpace:
        why = QStringLiteral("Δεν υπάρχει χώρος - No space left");
        break;
    case id3v1::Saved::Failed:
        why = QStringLiteral("Η εγγραφή απέτυχε - The write failed");
        break;
    }
    // The file is as it was; say so rather than pretend.
    dialogs::MsgBox(why + QStringLiteral("\r\n") + m.currentFile, dialogs::Style::OkCritical,
                    QStringLiteral("MP3 Λάθος κατά την αποθήκευση - Tag Save Error"));
}
