#pragma once

#include <QDate>

namespace ado {

// Reads a date written exactly "yyyy-MM-dd" (in 8-bit or 16-bit characters) without Qt's
// general date code, which costs more than the reading itself when millions of values are
// fetched. Anything else, an impossible day or a year before 1 included, is false.
template <typename Char>
bool ParseIsoDateText(const Char* text, qsizetype size, QDate* out)
{
    if (size != 10 || text[4] != Char('-') || text[7] != Char('-'))
        return false;
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int ends[3] = {4, 7, 10};
    for (int p = 0; p < 3; ++p) {
        for (int i = starts[p]; i < ends[p]; ++i) {
            if (text[i] < Char('0') || text[i] > Char('9'))
                return false;
            parts[p] = parts[p] * 10 + int(text[i] - Char('0'));
        }
    }
    const int y = parts[0], m = parts[1], d = parts[2];
    static constexpr int MonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > MonthDays[m - 1] + (m == 2 && leap))
        return false;
    // The Julian day of a Gregorian date (years from 1 on, so every division is exact).
    const int a = (14 - m) / 12;
    const qint64 yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    *out = QDate::fromJulianDay(d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045);
    return true;
}

} // namespace ado
