#include "playback/film_logic.h"

#include <QStringList>

namespace filmlogic {

QString caption(const Track &t)
{
    QStringList said;
    for (const QString &s : {t.lang, t.title})
        if (!s.trimmed().isEmpty())
            said << s.trimmed();
    QString text = QString::number(t.id);
    if (!said.isEmpty())
        text += QStringLiteral(": ") + said.join(QStringLiteral(" — "));
    return text;
}

QString restorable(const QString &kept, const QString &type, const std::vector<Track> &tracks)
{
    if (kept == QLatin1String("no"))
        return type == QLatin1String("sub") ? kept : QString();
    bool ok = false;
    const long long id = kept.toLongLong(&ok);
    if (!ok)
        return {};
    for (const Track &t : tracks)
        if (t.type == type && t.id == id)
            return kept;
    return {};
}

} // namespace filmlogic
