#include "playlist/wildcard.h"

#include "base/fsname.h"
#include "base/fsprobe.h"
#include "base/name_order.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>

namespace wildcard {

Pattern::Pattern(const QString &text)
    : m_text(text)
{
    const QStringList parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.isEmpty())
            continue;
        // "*.ext", by far the usual form, needs no regular expression.
        const QString rest = p.mid(1);
        if (p.startsWith(QLatin1Char('*')) && !rest.contains(QLatin1Char('*')) && !rest.contains(QLatin1Char('?'))
            && !rest.contains(QLatin1Char('['))) {
            m_suffixes.append(rest);
            continue;
        }
        m_res.emplace_back(
            QRegularExpression::wildcardToRegularExpression(p, QRegularExpression::UnanchoredWildcardConversion),
            QRegularExpression::CaseInsensitiveOption);
        // wildcardToRegularExpression with Unanchored gives no anchors; match whole names.
        m_res.back().setPattern(QStringLiteral("\\A(?:%1)\\z").arg(m_res.back().pattern()));
    }
}

bool Pattern::matches(QStringView fileName) const
{
    for (const QString &s : m_suffixes)
        if (fileName.endsWith(s, Qt::CaseInsensitive))
            return true;
    return std::any_of(m_res.begin(), m_res.end(),
                       [&](const QRegularExpression &re) { return re.match(fileName).hasMatch(); });
}

void sortNoCase(QStringList &names) { nameorder::sort(names); }

QStringList matchingFiles(const QString &folder, const Pattern &pattern, bool *ok)
{
    QStringList out = matchingFilesUnsorted(folder, pattern, ok);
    sortNoCase(out);
    return out;
}

QStringList matchingFilesUnsorted(const QString &folder, const Pattern &pattern, bool *ok)
{
    // readdir's own type field spares a stat per file; only links and unknown types need one.
    const QByteArray dirBytes = fsname::encode(joinPath(folder, QString()));
    DIR *d = ::opendir(dirBytes.constData());
    if (ok)
        *ok = d != nullptr;
    if (!d)
        return {};
    QStringList out;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        bool file = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
            file = fsprobe::isRegular(dirBytes + e->d_name);
        if (!file)
            continue;
        const QString name = fsname::decode(e->d_name, qsizetype(std::strlen(e->d_name)));
        if (pattern.matches(name))
            out.append(name);
    }
    ::closedir(d);
    return out;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace wildcard
