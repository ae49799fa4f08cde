// The status line and the window captions.

#include "playback/playback.h"

#include "base/fsprobe.h"
#include "base/offthread.h"
#include "playback/status_logic.h"
#include "state/module1.h"
#include "ui/form1.h"
#include "ui/form4.h"
#include "ui/listbox.h"

#include <QLabel>
#include <QLineEdit>

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

void Playback::showOpenFailed(const QString &file)
{
    // Whether the file is there is asked aside: its slow disk may be why the open failed.
    offthread::run<bool>(
        f.Text2, [file] { return fsprobe::exists(file); },
        [&m = m, text = f.Text2, file](bool exists) {
            if (m.currentFile == file)
                text->setText(status::openFailedText(file, exists));
        },
        offthread::kFastMs);
}
