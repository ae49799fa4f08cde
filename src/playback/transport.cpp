#include "playback/transport.h"

#include "playback/playback.h"
#include "playback/player.h"
#include "playback/status_logic.h"
#include "playback/transport_logic.h"
#include "state/state_db.h"
#include "ui/form1.h"
#include "ui/listbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>

namespace {
constexpr const char *kRewindOption = "rewindOnResume";
} // namespace

Transport::Transport(Form1 &f, Playback &playback, StateDb &db)
    : f(f)
    , playback(playback)
    , db(db)
{
    clockMs = [] {
        static QElapsedTimer clock;
        if (!clock.isValid())
            clock.start();
        return clock.elapsed();
    };
    m_follow.setInterval(1000);
    connect(&m_follow, &QTimer::timeout, this, &Transport::follow);
    qApp->installEventFilter(this);
}

// Where the focused control uses Space itself (typing, pressing a button, ticking a row),
// Space is that control's, not the play/pause key.
bool Transport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
        return false;
    QWidget *w = QApplication::focusWidget();
    const auto *list = qobject_cast<ListBox *>(w);
    if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || (list && list->checkBoxes())) {
        event->accept();
        return true;
    }
    return false;
}

void Transport::watch(Player &p)
{
    // Every pause and play is seen, whichever control made it.
    if (p.property("transportWatched").toBool())
        return;
    p.setProperty("transportWatched", true);
    connect(
        &p, &Player::changed, this, [this, &p] { stateChanged(p); }, Qt::QueuedConnection);
    stateChanged(p);
}

void Transport::stateChanged(Player &p)
{
    const int state = p.PlayState();
    const qint64 now = clockMs();
    if (m_pause.player != &p || m_pause.open != p.openCount()) {
        m_pause = {&p, p.openCount(), state, state == Player::Paused ? now : -1};
        return;
    }
    if (state == m_pause.state)
        return;
    if (state == Player::Playing && m_pause.since >= 0 && now - m_pause.since > transport::kLongPauseMs) {
        const double at = p.CurrentPosition();
        const double to = transport::rewound(at, rewindSecs());
        if (to != at)
            p.setCurrentPosition(to);
    }
    m_pause.since = state == Player::Paused ? now : -1;
    m_pause.state = state;
}

void Transport::playPause()
{
    Player &p = playback.watchedPlayer();
    watch(p);
    const bool pause = p.PlayState() == Player::Playing;
    pause ? p.Pause() : p.Play();
    f.mnusystemtraypause->setChecked(pause);
}

void Transport::skip(double seconds)
{
    Player &p = playback.watchedPlayer();
    if (p.openCount() == 0 || p.opening() || p.openFailed() || playback.startInProgress())
        return;
    p.setCurrentPosition(transport::skipTarget(p.CurrentPosition(), seconds, p.Duration()));
    playback.notePlace();
    follow();
}

QList<Chapter> Transport::chapters()
{
    Player &p = playback.watchedPlayer();
    watch(p);
    if (p.openCount() == 0 || p.opening() || p.openFailed())
        return {};
    if (&p != m_chaptersOf || p.openCount() != m_chaptersOpen) {
        m_chaptersOf = &p;
        m_chaptersOpen = p.openCount();
        m_chapters = transport::usable(p.chapterList(), p.Duration());
    }
    return m_chapters;
}

int Transport::currentChapter()
{
    const QList<Chapter> list = chapters();
    return list.isEmpty() ? -1 : transport::chapterAt(list, playback.watchedPlayer().CurrentPosition());
}

void Transport::stepChapter(int step)
{
    const int to = transport::chapterStep(chapters(), playback.watchedPlayer().CurrentPosition(), step);
    if (to >= 0)
        seekChapter(to);
}

void Transport::seekChapter(int index)
{
    const QList<Chapter> list = chapters();
    if (index < 0 || index >= list.size() || playback.startInProgress())
        return;
    playback.watchedPlayer().setCurrentPosition(list[index].start);
    playback.notePlace();
    follow();
}

void Transport::fillChapters(QMenu &menu)
{
    menu.clear();
    const QList<Chapter> list = chapters();
    const int current = currentChapter();
    if (list.isEmpty()) {
        menu.addAction(QStringLiteral("Χωρίς κεφάλαια - No chapters"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < list.size(); ++i) {
        const QString title = list[i].title.isEmpty() ? QString::number(i + 1) : list[i].title;
        QAction *a = menu.addAction(QStringLiteral("%1. %2").arg(i + 1).arg(title));
        a->setCheckable(true);
        a->setChecked(i == current);
        connect(a, &QAction::triggered, this, [this, i] { seekChapter(i); });
    }
}

void Transport::mnurewindn_Click(int index)
{
    for (size_t i = 0; i < f.mnurewindn.size(); ++i)
        f.mnurewindn[i]->setChecked(int(i) == index);
    m_rewind = transport::kRewindChoices[index];
    db.setOption(kRewindOption, m_rewind);
}

void Transport::load()
{
    const double secs = rewindSecs();
    size_t i = 0;
    for (const double choice : transport::kRewindChoices)
        f.mnurewindn[i++]->setChecked(choice == secs);
}

// Without the database the choice lasts for this run.
double Transport::rewindSecs() const
{
    const double secs = db.option(kRewindOption, m_rewind).toDouble();
    for (const double choice : transport::kRewindChoices)
        if (choice == secs)
            return secs;
    return 0;
}

double Transport::resumeStart(Player &p, double start)
{
    const double to = transport::rewound(start, rewindSecs());
    m_resumeReport.clear();
    if (to > 0) {
        m_resumeReport = transport::resumeText(transport::usable(p.chapterList(), p.Duration()), to);
        m_resumeOpen = p.openCount();
    }
    return to;
}

QString Transport::statusSuffix()
{
    Player &p = playback.watchedPlayer();
    const int chapter = currentChapter();
    // The resume is reported until the file or its chapter changes.
    const bool sameFile = &p == m_shownPlayer && p.openCount() == m_shownOpen;
    if (p.openCount() != m_resumeOpen || (sameFile && chapter != m_shownChapter))
        m_resumeReport.clear();
    m_shownPlayer = &p;
    m_shownOpen = p.openCount();
    m_shownChapter = chapter;
    chapter >= 0 ? m_follow.start() : m_follow.stop();
    const QString text = m_resumeReport.isEmpty() ? transport::chapterText(chapters(), chapter) : m_resumeReport;
    return text.isEmpty() ? QString() : QStringLiteral("   ") + text;
}

void Transport::setTrayTip(const QString &field)
{
    m_tipName = status::shownTip(field);
    const QList<Chapter> list = chapters();
    const int at = currentChapter();
    QString tip = m_tipName;
    if (at >= 0)
        tip += QStringLiteral(" — ") + (list[at].title.isEmpty() ? transport::chapterText(list, at) : list[at].title);
    showTrayTip(status::tipField(tip + QChar(u'\0')));
}

// A new chapter is shown as playing reaches it.
void Transport::follow()
{
    Player &p = playback.watchedPlayer();
    if (&p == m_shownPlayer && p.openCount() == m_shownOpen && currentChapter() == m_shownChapter)
        return;
    playback.etiketes();
    if (!m_tipName.isEmpty())
        setTrayTip(status::tipField(m_tipName + QChar(u'\0')));
}
