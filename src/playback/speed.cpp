#include "playback/speed.h"

#include "playback/speed_logic.h"
#include "state/module1.h"
#include "state/state_db.h"
#include "ui/form1.h"

#include <QAction>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

Speed::Speed(Module1 &m, Form1 &form, StateDb &db)
    : m(m)
    , form(form)
    , db(db)
{
}

void Speed::mnuspeedn_Click(int index)
{
    if (index >= 0 && size_t(index) < speed::kPresets.size())
        setSpeed(speed::kPresets[size_t(index)]);
}

void Speed::mnuspeedslower_Click() { setSpeed(speed::step(m.playSpeed, -1)); }

void Speed::mnuspeedfaster_Click() { setSpeed(speed::step(m.playSpeed, +1)); }

void Speed::setSpeed(double factor)
{
    const double s = speed::clamp(factor);
    const bool moved = s != m.playSpeed;
    m.playSpeed = s;
    if (toPlayers)
        toPlayers(s);
    const int preset = speed::presetIndex(s);
    for (size_t i = 0; i < form.mnuspeedn.size(); ++i)
        form.mnuspeedn[i]->setChecked(int(i) == preset);
    if (!moved)
        return;
    if (changed)
        changed();
    store();
}

QString Speed::statusSuffix() const { return speed::statusSuffix(m.playSpeed); }

// Without the database the speed lasts for this run.
void Speed::load()
{
    if (!db.isOpen())
        return;
    QSqlQuery q(db.database());
    q.prepare(QStringLiteral("SELECT factor FROM speed WHERE folder = ?"));
    q.addBindValue(db.keyBytes());
    if (q.exec() && q.next())
        setSpeed(q.value(0).toDouble());
}

void Speed::store()
{
    if (!db.isOpen())
        return;
    db.exec(QStringLiteral("speed"), QStringLiteral("INSERT OR REPLACE INTO speed(folder, factor) VALUES(?, ?)"),
            {db.keyBytes(), m.playSpeed});
}
