#include "playback/transport_logic.h"

#include "playback/lengths_logic.h"

#include <algorithm>
#include <cmath>

namespace transport {

double skipTarget(double position, double delta, double length)
{
    if (!std::isfinite(position))
        position = 0;
    const double to = position + delta;
    return std::clamp(to, 0.0, std::max(0.0, length));
}

QList<Chapter> usable(const QList<Chapter> &listed, double length)
{
    double last = -1;
    for (const Chapter &c : listed) {
        if (!std::isfinite(c.start) || c.start <= last || (length > 0 && c.start >= length))
            return {};
        last = c.start;
    }
    // One chapter is the whole file: nothing to step between.
    return listed.size() > 1 ? listed : QList<Chapter>();
}

int chapterAt(const QList<Chapter> &chapters, double position)
{
    int at = -1;
    for (int i = 0; i < chapters.size() && chapters[i].start <= position + 0.05; ++i)
        at = i;
    return chapters.isEmpty() ? -1 : std::max(at, 0);
}

int chapterStep(const QList<Chapter> &chapters, double position, int step)
{
    const int at = chapterAt(chapters, position);
    if (at < 0)
        return -1;
    if (step > 0)
        return at + 1 < chapters.size() ? at + 1 : -1;
    if (position - chapters[at].start > kRestartChapterSecs)
        return at;
    return std::max(at - 1, 0);
}

QString chapterText(const QList<Chapter> &chapters, int index)
{
    if (index < 0 || index >= chapters.size())
        return {};
    QString s = QStringLiteral("Κεφάλαιο - Chapter %1/%2").arg(index + 1).arg(chapters.size());
    if (!chapters[index].title.isEmpty())
        s += QStringLiteral(": ") + chapters[index].title;
    return s;
}

QString resumeText(const QList<Chapter> &chapters, double position)
{
    const int at = chapterAt(chapters, position);
    if (at < 0) {
        const QString clock = lengths::clockText(position);
        return QStringLiteral("Συνέχεια από %1 - Resuming at %1").arg(clock);
    }
    QString where = QString::number(at + 1);
    if (!chapters[at].title.isEmpty())
        where += QStringLiteral(" — ") + chapters[at].title;
    return QStringLiteral("Συνέχεια: κεφάλαιο %1 - Resuming: chapter %1").arg(where);
}

double rewound(double start, double rewind)
{
    if (!(start > 0) || !(rewind > 0))
        return start;
    return std::max(0.0, start - rewind);
}

} // namespace transport
