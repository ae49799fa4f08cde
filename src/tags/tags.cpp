#include "tags/tags.h"

#include "session/app.h"
#include "ui/form1.h"

#include <QComboBox>

QStringList Tags::genreTable()
{
    return {
        "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip -Hop",
        "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&b", "Rap", "Reggae", "Rock",
        "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
        "Euro -Techno", "Ambient", "Trip -Hop", "Vocal", "Jazz Funk", "Fusion", "Trance",
        "Classical", "Λαϊκό", "Ρεμπέτικα", "Παραδοσιακά", "Ελαφρολαϊκά", "Εκκλησιαστικά",
        "Ομιλίες",
    };
}

void Tags::fillGenres()
{
    app.m.genres = genreTable();
    app.form1().Combo1->addItems(app.m.genres);
    app.form1().Combo1->setCurrentIndex(-1);
}

void Tags::readTag()
{
    // Reading the ID3v1 record comes with the tag fields' own work.
}

void Tags::mnumoretags_Click()
{
}
