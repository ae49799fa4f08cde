#include "app/autostart_logic.h"

namespace autostart {

QString quoteExecArg(const QString &arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = arg.isEmpty();
    for (const QChar c : arg)
        quote = quote || reserved.contains(c);
    QString out;
    for (const QChar c : arg) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%%");
        else if (quote
                 && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')))
            out += QLatin1Char('\\') + c;
        else
            out += c;
    }
    return quote ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

QString escapeValue(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString programPath(const QString &folder, const QString &valueName)
{
    return folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + valueName;
}

QString entryText(const QString &folder, const QString &valueName, const QString &workFolder)
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Velloran\n"
                                  "Comment=Resumes the last session at login\n");
    text += QStringLiteral("Exec=") + escapeValue(quoteExecArg(programPath(folder, valueName))) + QLatin1Char('\n');
    if (!workFolder.isEmpty())
        text += QStringLiteral("Path=") + escapeValue(workFolder) + QLatin1Char('\n');
    text += QStringLiteral("Icon=velloran\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    return text;
}

} // namespace autostart
