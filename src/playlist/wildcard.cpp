#include "playlist/wildcard.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace wildcard {

Pattern::Pattern(const QString &text)
    : m_text(text)
{
    const QStringList parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.isEmpty())
            continue;
        m_res.emplace_back(QRegularExpression::wildcardToRegularExpression(
                               p, QRegularExpression::UnanchoredWildcardConversion),
                           QRegularExpression::CaseInsensitiveOption);
        // wildcardToRegularExpression with Unanchored gives no anchors; match whole names.
        m_res.back().setPattern(QStringLiteral("\\A(?:%1)\\z").arg(m_res.back().pattern()));
    }
}

bool Pattern::matches(const QString &fileName) const
{
    return std::any_of(m_res.begin(), m_res.end(), [&](const QRegularExpression &re) {
        return re.match(fileName).hasMatch();
    });
}

void sortNoCase(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

QStringList matchingFiles(const QString &folder, const Pattern &pattern, bool *ok)
{
    QDir dir(folder);
    const bool readable = dir.exists() && dir.isReadable();
    if (ok)
        *ok = readable;
    if (!readable)
        return {};
    // Without QDir::Hidden, names starting with "." are left out.
    const QStringList all = dir.entryList(QDir::Files, QDir::NoSort);
    QStringList out;
    out.reserve(all.size());
    for (const QString &name : all)
        if (pattern.matches(name))
            out.append(name);
    sortNoCase(out);
    return out;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace wildcard
