#include "playback/film.h"

#include "playback/mpv_player.h"
#include "state/schema.h"
#include "state/state_db.h"
#include "ui/form1.h"
#include "ui/form2.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QMenu>
#include <QScrollBar>
#include <QSqlQuery>
#include <algorithm>
#include <mpv/client.h>

namespace {

QString nodeText(const mpv_node &n)
{
    return n.format == MPV_FORMAT_STRING ? QString::fromUtf8(n.u.string) : QString();
}

filmlogic::Track trackOf(const mpv_node_list &map)
{
    filmlogic::Track t;
    for (int i = 0; i < map.num; ++i) {
        const QByteArray key(map.keys[i]);
        const mpv_node &v = map.values[i];
        if (key == "id" && v.format == MPV_FORMAT_INT64)
            t.id = v.u.int64;
        else if (key == "type")
            t.type = nodeText(v);
        else if (key == "lang")
            t.lang = nodeText(v);
        else if (key == "title")
            t.title = nodeText(v);
        else if (key == "external" && v.format == MPV_FORMAT_FLAG)
            t.external = v.u.flag != 0;
        else if (key == "selected" && v.format == MPV_FORMAT_FLAG)
            t.selected = v.u.flag != 0;
    }
    return t;
}

} // namespace

Film::Film(Form1 &f, MpvPlayer &video, StateDb &db)
    : f(f)
    , video(video)
    , db(db)
    , pictureMenu(new QMenu(&f))
{
    pictureMenu->addMenu(f.mnuvideoaudio);
    pictureMenu->addMenu(f.mnuvideosubs);
    pictureMenu->addAction(f.mnuvideofull);
    // The chapters of the playing file stand beside the tracks in both menus.
    pictureMenu->addMenu(f.mnuchapters);
    f.mnumorevinteo->addMenu(f.mnuchapters);
    connect(f.mnuvideoaudio, &QMenu::aboutToShow, this,
            [this] { fill(this->f.mnuvideoaudio, QStringLiteral("audio")); });
    connect(f.mnuvideosubs, &QMenu::aboutToShow, this, [this] { fill(this->f.mnuvideosubs, QStringLiteral("sub")); });
    connect(f.mnuvideofull, &QAction::triggered, this, [this] {
        if (window)
            window->toggleFullScreen();
    });
    connect(&video, &Player::changed, this, &Film::opened);
}

void Film::attach(Form2 &w)
{
    window = &w;
    connect(&w, &Form2::menuWanted, this, [this](const QPoint &at) { pictureMenu->popup(at); });
    const auto key = [&w](const QKeySequence &k, auto &&run) {
        auto *a = new QAction(&w);
        a->setShortcut(k);
        connect(a, &QAction::triggered, &w, run);
        w.addAction(a);
    };
    key(Qt::Key_F, [&w] { w.toggleFullScreen(); });
    key(Qt::Key_Escape, [&w] { w.leaveFullScreen(); });
    // The main window's skips and chapter steps, so that a kept place moves the same way.
    key(Qt::Key_Left, [this] { f.mnuback10->trigger(); });
    key(Qt::Key_Right, [this] { f.mnufwd10->trigger(); });
    key(Qt::Key_Down, [this] { f.mnuback60->trigger(); });
    key(Qt::Key_Up, [this] { f.mnufwd60->trigger(); });
    key(Qt::Key_PageUp, [this] { f.mnuchapterprev->trigger(); });
    key(Qt::Key_PageDown, [this] { f.mnuchapternext->trigger(); });
    // Through the volume bar, so that the bar, the saved volume and the player agree.
    key(Qt::Key_9, [this] { f.HScroll1->triggerAction(QAbstractSlider::SliderPageStepSub); });
    key(Qt::Key_0, [this] { f.HScroll1->triggerAction(QAbstractSlider::SliderPageStepAdd); });
    key(Qt::Key_M, [this] { command({"cycle", "mute"}); });
}

QString Film::property(const char *name)
{
    if (!video.coreCreated() || !video.handle())
        return {};
    char *s = mpv_get_property_string(video.handle(), name);
    QString v = s ? QString::fromUtf8(s) : QString();
    mpv_free(s);
    return v;
}

void Film::command(std::initializer_list<const char *> args)
{
    if (!video.coreCreated() || !video.handle())
        return;
    std::vector<const char *> argv(args);
    argv.push_back(nullptr);
    mpv_command(video.handle(), argv.data());
}

std::vector<filmlogic::Track> Film::tracks()
{
    std::vector<filmlogic::Track> out;
    if (!video.coreCreated() || !video.handle())
        return out;
    mpv_node list;
    if (mpv_get_property(video.handle(), "track-list", MPV_FORMAT_NODE, &list) < 0)
        return out;
    if (list.format == MPV_FORMAT_NODE_ARRAY)
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node &n = list.u.list->values[i];
            if (n.format != MPV_FORMAT_NODE_MAP)
                continue;
            filmlogic::Track t = trackOf(*n.u.list);
            if (t.type == QLatin1String("audio") || t.type == QLatin1String("sub"))
                out.push_back(std::move(t));
        }
    mpv_free_node_contents(&list);
    return out;
}

void Film::fill(QMenu *menu, const QString &type)
{
    menu->clear();
    // clear() drops the actions only; the group of the last showing would stay with the menu.
    qDeleteAll(menu->findChildren<QActionGroup *>(Qt::FindDirectChildrenOnly));
    auto *group = new QActionGroup(menu);
    const auto add = [&](const QString &text, const QString &id, bool on) {
        QAction *a = menu->addAction(text);
        a->setCheckable(true);
        a->setChecked(on);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, type, id] { choose(type, id); });
    };
    const std::vector<filmlogic::Track> all = tracks();
    const bool sub = type == QLatin1String("sub");
    if (sub)
        add(QStringLiteral("Όχι - Off"), QStringLiteral("no"),
            std::none_of(all.begin(), all.end(),
                         [](const filmlogic::Track &t) { return t.type == "sub" && t.selected; }));
    for (const filmlogic::Track &t : all)
        if (t.type == type)
            add(filmlogic::caption(t), QString::number(t.id), t.selected);
    if (!sub)
        return;
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Από αρχείο… - From file…")), &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(window, QStringLiteral("Υπότιτλοι - Subtitles"));
        if (!path.isEmpty())
            addSubtitle(path);
    });
}

void Film::choose(const QString &type, const QString &id)
{
    if (!video.coreCreated() || !video.handle())
        return;
    const QByteArray name = type == QLatin1String("sub") ? "sid" : "aid";
    mpv_set_property_string(video.handle(), name.constData(), id.toUtf8().constData());
    keep();
}

void Film::addSubtitle(const QString &path)
{
    // A file that is not subtitles is refused by the player; the film plays on as it was.
    command({"sub-add", path.toUtf8().constData(), "select"});
    keep();
}

void Film::keep()
{
    if (!db.isOpen() || video.FileName().isEmpty())
        return;
    // Without the row the film simply starts with the player's own choice.
    db.exec(QStringLiteral("film\n") + video.FileName(),
            QStringLiteral("INSERT INTO film_tracks(path, audio, subtitle) VALUES(?, ?, ?)"
                           " ON CONFLICT(path) DO UPDATE SET audio = excluded.audio, subtitle = excluded.subtitle"),
            {statedb::schema::nameValue(video.FileName()), property("aid"), property("sid")});
}

std::pair<QString, QString> Film::kept(const QString &path)
{
    if (!db.isOpen())
        return {};
    QSqlQuery q(db.database());
    q.prepare(QStringLiteral("SELECT audio, subtitle FROM film_tracks WHERE path = ?"));
    q.addBindValue(statedb::schema::nameValue(path));
    if (!q.exec() || !q.next())
        return {};
    return {q.value(0).toString(), q.value(1).toString()};
}

void Film::opened()
{
    if (video.openCount() == restoredOpen || video.opening() || video.openFailed() || video.FileName().isEmpty())
        return;
    restoredOpen = video.openCount();
    const auto [audio, subtitle] = kept(video.FileName());
    if (audio.isEmpty() && subtitle.isEmpty())
        return;
    const std::vector<filmlogic::Track> all = tracks();
    const QString aid = filmlogic::restorable(audio, QStringLiteral("audio"), all);
    const QString sid = filmlogic::restorable(subtitle, QStringLiteral("sub"), all);
    if (!aid.isEmpty())
        mpv_set_property_string(video.handle(), "aid", aid.toUtf8().constData());
    if (!sid.isEmpty())
        mpv_set_property_string(video.handle(), "sid", sid.toUtf8().constData());
}
