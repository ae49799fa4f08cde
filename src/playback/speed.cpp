#include "playback/speed.h"

#include "app/app.h"
#include "playback/playback.h"
#include "playback/player.h"
#include "playback/speed_logic.h"
#include "session/session.h"
#include "session/state_db.h"
#include "ui/form1.h"

#include <QAction>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {
const char *const kTable = "CREATE TABLE IF NOT EXISTS speed(folder TEXT PRIMARY KEY, factor REAL NOT NULL)";

// The open state database's connection, or none: without it the speed lasts for this run.
std::optional<QSqlDatabase> database(App &app)
{
    StateDb *db = app.session().stateDb();
    if (!db || !db->isOpen())
        return std::nullopt;
    QSqlDatabase c = QSqlDatabase::database(db->connectionName(), false);
    if (!c.isOpen() || !QSqlQuery(c).exec(QLatin1String(kTable)))
        return std::nullopt;
    return c;
}
} // namespace

Speed::Speed(App &app)
    : app(app)
{
}

void Speed::mnuspeedn_Click(int index)
{
    if (index >= 0 && size_t(index) < speed::kPresets.size())
        setSpeed(speed::kPresets[size_t(index)]);
}

void Speed::mnuspeedslower_Click() { setSpeed(speed::step(app.m.playSpeed, -1)); }

void Speed::mnuspeedfaster_Click() { setSpeed(speed::step(app.m.playSpeed, +1)); }

void Speed::setSpeed(double factor)
{
    const double s = speed::clamp(factor);
    const bool changed = s != app.m.playSpeed;
    app.m.playSpeed = s;
    app.mainPlayer().setSpeed(s);
    app.videoPlayer().setSpeed(s);
    Form1 &f = app.form1();
    const int preset = speed::presetIndex(s);
    for (size_t i = 0; i < f.mnuspeedn.size(); ++i)
        f.mnuspeedn[i]->setChecked(int(i) == preset);
    if (!changed)
        return;
    app.playback().etiketes();
    store();
}

QString Speed::statusSuffix() const { return speed::statusSuffix(app.m.playSpeed); }

void Speed::load()
{
    const auto db = database(app);
    if (!db)
        return;
    QSqlQuery q(*db);
    q.prepare(QStringLiteral("SELECT factor FROM speed WHERE folder = ?"));
    q.addBindValue(app.session().stateDb()->key());
    if (q.exec() && q.next())
        setSpeed(q.value(0).toDouble());
}

void Speed::store()
{
    const auto db = database(app);
    if (!db)
        return;
    QSqlQuery q(*db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO speed(folder, factor) VALUES(?, ?)"));
    q.addBindValue(app.session().stateDb()->key());
    q.addBindValue(app.m.playSpeed);
    q.exec();
}
