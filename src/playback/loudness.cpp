#include "playback/loudness.h"

#include "playback/loudness_logic.h"
#include "state/state_db.h"
#include "ui/form1.h"

#include <QAction>
#include <QVariant>

namespace {
constexpr const char *kOption = "loudness";
}

Loudness::Loudness(Form1 &form, StateDb &db)
    : form(form)
    , db(db)
{
}

void Loudness::mnuloudnessn_Click(int index)
{
    if (index < 0 || index >= loudness::kChoices)
        return;
    apply(index);
    db.setOption(kOption, index);
}

void Loudness::load()
{
    bool ok = false;
    const int index = db.option(kOption, 0).toInt(&ok);
    apply(ok && index >= 0 && index < loudness::kChoices ? index : loudness::Off);
}

void Loudness::apply(int index)
{
    m_choice = index;
    for (size_t i = 0; i < form.mnuloudnessn.size(); ++i)
        form.mnuloudnessn[i]->setChecked(int(i) == index);
    if (toPlayers)
        toPlayers(index);
}
