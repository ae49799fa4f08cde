#pragma once
// The two descriptions of the program shown from the "?" menu.

#include <QString>
#include <QStringList>

namespace info {

QStringList englishPieces();
QStringList greekPieces();
QString signature();
// The pieces joined as they are, a blank line, and the signature.
QString fullText(const QStringList &pieces);

// The maker's page, shown and opened by the about window's link.
inline const QString kMakerPage = QStringLiteral("https://velloran.github.io/");

} // namespace info
