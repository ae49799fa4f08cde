#pragma once
// Text of the per-user XDG autostart entry, quoted as the Desktop Entry rules require.

#include <QString>

namespace autostart {

// One argument of an Exec line: left bare when it holds no reserved character, otherwise in
// double quotes with ", `, $ and \ escaped; % doubled in both cases.
QString quoteExecArg(const QString &arg);
// A string value: backslash, newline, tab and carriage return escaped.
QString escapeValue(const QString &value);
// The program's path from its folder and executable name (one slash between them).
QString programPath(const QString &folder, const QString &valueName);
// The whole entry. workFolder, when not empty, becomes Path=: the folder the program is
// started in, and so the folder its session file is read from.
QString entryText(const QString &folder, const QString &valueName, const QString &workFolder);

} // namespace autostart
