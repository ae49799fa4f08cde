#pragma once
// The file box's pattern: ";"-separated wildcards matched without regard to case.

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace wildcard {

class Pattern {
public:
    explicit Pattern(const QString &text = QString());
    bool matches(QStringView fileName) const;
    const QString &text() const { return m_text; }

private:
    QString m_text;
    QStringList m_suffixes;
    std::vector<QRegularExpression> m_res;
};

// Names of the visible regular files of folder that match, in alphabetical order without
// regard to case. An unreadable or missing folder gives an empty list and ok=false.
QStringList matchingFiles(const QString &folder, const Pattern &pattern, bool *ok = nullptr);
// The same names in the order the folder lists them.
QStringList matchingFilesUnsorted(const QString &folder, const Pattern &pattern, bool *ok = nullptr);

// Sorts names alphabetically, as the lists order them (ui/name_order.h).
void sortNoCase(QStringList &names);

// folder + "/" + name, with exactly one "/" between them.
QString joinPath(const QString &folder, const QString &name);

} // namespace wildcard
