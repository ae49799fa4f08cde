// The status line and the window captions.

#include "playback/playback.h"

#include "playback/status_logic.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLabel>

void Playback::etiketes()
{
    const status::Texts t = status::statusTexts(f.List2->count(), f.List2->listIndex(), m.shuffleOn, m.playedMarks);
    Form4 &w = form4();
    f.Label6->setText(t.label6 + statusSuffix());
    f.Label3->setText(t.label3);
    w.Label2->setText(t.form4Label2);
    w.setWindowTitle(t.form4Caption);
    f.setWindowTitle(t.form1Caption);
    statusShown();
}
