// Volume, preview switch and preview length.

#include "playback/playback.h"

#include "base/numtext.h"
#include "playback/player.h"
#include "playback/video_logic.h"
#include "state/module1.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

#include <QAction>
#include <QRegularExpression>
#include <QScrollBar>
#include <optional>

namespace {
// A plain decimal number with an optional sign and fraction; "," is taken as the point
// too, as Greek users write it.
std::optional<double> readNumber(QString text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)\\s*$"));
    if (!re.match(text).hasMatch())
        return std::nullopt;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    return text.trimmed().toDouble();
}
} // namespace

void Playback::setHScroll1(int value)
{
    f.HScroll1->setValue(value);
    HScroll1_Change();
}

void Playback::HScroll1_Change()
{
    m.volume = int16_t(f.HScroll1->value());
    mainPlayer.setVolume(m.volume);
    if (videologic::volumeReachesVideo(m.videoMode, mainPlayer.inUse()))
        videoPlayer.setVolume(m.volume);
}

void Playback::HScroll1_Scroll()
{
    // While the thumb moves its position leads the value: read the position.
    QScrollBar *bar = f.HScroll1;
    bar->setValue(bar->sliderPosition());
    HScroll1_Change();
}

void Playback::mnumorepreview_Click()
{
    m.previewOn = int16_t(~m.previewOn);
    f.mnumorepreview->setChecked(!f.mnumorepreview->isChecked());
    f.mnumoreduration->setEnabled(!f.mnumoreduration->isEnabled());
}

void Playback::mnumoreduration_Click()
{
    for (;;) {
        const QString answer = dialogs::InputBox(
            QStringLiteral("Όρισε διάρκεια προεπισκόπησης 2-60 δευτερόλεπτα: Declare duration of preview 2-60 secs"),
            QStringLiteral("Ορισμός - Declaring"), QString::number(m.previewSecs));
        const std::optional<double> v = readNumber(answer);
        if (!v) {
            if (dialogs::MsgBox(QStringLiteral("Άκυρη είσοδος. Επανάληψη; - Invalid input. Repeat"),
                                dialogs::Style::YesNo)
                == dialogs::Answer::Yes)
                continue;
            return;
        }
        if (*v >= 2 && *v <= 60) {
            m.previewSecs = int16_t(numtext::roundHalfEven(*v));
            return;
        }
    }
}
