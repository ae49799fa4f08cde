// The status line and the window captions.

#include "playback/playback.h"

#include "playback/status_logic.h"
#include "session/app.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLabel>

void Playback::etiketes()
{
    Form1 &f = app.form1();
    const status::Texts t
        = status::statusTexts(f.List2->count(), f.List2->listIndex(), app.m.shuffleOn, app.m.playedMarks);
    Form4 &w = app.form4();
    f.Label6->setText(t.label6 + app.speed.statusSuffix() + app.sleep.statusSuffix());
    f.Label3->setText(t.label3);
    w.Label2->setText(t.form4Label2);
    w.setWindowTitle(t.form4Caption);
    f.setWindowTitle(t.form1Caption);
    app.lengths.refresh();
}
