#include "playback/status_logic.h"

#include "base/numtext.h"

#include <algorithm>
#include <iterator>

using numtext::F;
using numtext::N;

namespace status {

Texts statusTexts(int total, int listIndex, int16_t shuffleOn, const std::vector<int16_t> &marks)
{
    int current = 0;
    int remaining = 0;
    if (shuffleOn != 0) {
        for (int i = 0; i < total; ++i)
            if (size_t(i) < marks.size() && marks[size_t(i)] == 0)
                ++remaining;
        current = total - remaining;
    } else {
        current = listIndex;
        remaining = total - current - 1;
    }
    const long long percent = total == 0 ? 0 : numtext::roundHalfEven((100.0 / total) * current);
    const QString tenBlanks(10, QLatin1Char(' '));
    const QString bracket = QStringLiteral("   [   ") + N(percent) + QStringLiteral("%   ]   ");

    Texts t;
    t.label6 = shuffleOn == -1 ? QStringLiteral("Τυχαία Αναπαραγωγή - Suffle Play")
                               : QStringLiteral("Σειριακή Αναπαραγωγή - Serial Play");
    t.label3 = QStringLiteral("Τρέχων - Current:") + N(current + 1) + tenBlanks + QStringLiteral("Όλα - Total:")
        + N(total) + tenBlanks + QStringLiteral("Εναπομείναντα - Remaining:") + N(remaining);
    const QString sep = QStringLiteral("    :   ");
    t.form4Label2 = N(current + 1) + sep + N(total) + sep + N(remaining);
    t.form4Caption = QStringLiteral("Ολοκληρωμένα - Completed") + bracket;
    t.form1Caption = QStringLiteral("Μπραστομέρ - Brastomere ") + bracket;
    return t;
}

Elapsed elapsedTexts(double position, double duration, int16_t previewOn, int16_t previewSecs, int16_t previewStart)
{
    const numtext::Hms e = numtext::splitSeconds(numtext::roundHalfEven(position));
    const numtext::Hms r = numtext::splitSeconds(numtext::roundHalfEven(duration - position));
    Elapsed out;
    const double left = int(previewStart) + int(previewSecs) - position;
    // The time left is known from the first moment, a file started from 0 included.
    if (previewOn == 0)
        out.remaining = F(r.h) + QLatin1Char(':') + F(r.m) + QLatin1Char(':') + F(r.s);
    else if (previewOn == -1)
        out.remaining = F(left);
    if (e.h <= 0 && e.m <= 0 && e.s <= 0) {
        out.display = QStringLiteral("00:00:00");
        return out;
    }
    const QString elapsed = F(e.h) + QLatin1Char(':') + F(e.m) + QLatin1Char(':') + F(e.s);
    if (previewOn == 0)
        out.display = elapsed;
    else if (previewOn == -1)
        out.display = elapsed + QStringLiteral("     [") + F(previewSecs) + QStringLiteral("] -") + F(left);
    return out;
}

QString completedRow(const QString &playlistText, int index)
{
    // Written in place, one allocation: the bench's first search builds 32 767 of these.
    const QStringView name = QStringView(playlistText).mid(playlistText.lastIndexOf(QLatin1Char('/')) + 1);
    char16_t digits[12];
    char16_t *d = std::end(digits);
    unsigned v = index < 0 ? 0U - unsigned(index) : unsigned(index);
    do {
        *--d = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (index < 0)
        *--d = u'-';
    static constexpr char16_t kArrow[] = u" =>";
    const qsizetype n = std::end(digits) - d;
    QString row(name.size() + 3 + n, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(row.data());
    o = std::copy(name.utf16(), name.utf16() + name.size(), o);
    o = std::copy(kArrow, kArrow + 3, o);
    std::copy(d, std::end(digits), o);
    return row;
}

int indexOfCompletedRow(const QString &row)
{
    const int p = row.lastIndexOf(QStringLiteral(" =>"));
    if (p < 0)
        return 0;
    // Leading digits only, as a numeric reading of the tail would take them.
    const QString tail = row.mid(p + 3).trimmed();
    int end = 0;
    while (end < tail.size() && (tail[end].isDigit() || (end == 0 && tail[end] == QLatin1Char('-'))))
        ++end;
    return tail.left(end).toInt();
}

QString tipField(const QString &text)
{
    return text.size() > 63 ? text.left(63) + QChar(u'\0') : text.leftJustified(64, QLatin1Char(' '));
}

QString shownTip(const QString &field)
{
    const int nul = field.indexOf(QChar(u'\0'));
    return nul < 0 ? field : field.left(nul);
}

QString openFailedText(const QString &path, bool exists)
{
    return (exists ? QStringLiteral("Δεν ανοίγει το αρχείο - Cannot open file: ")
                   : QStringLiteral("Λείπει το αρχείο - Missing file: "))
        + path;
}

} // namespace status
