#include "ado/fileengine/excel/ExcelDate.h"

#include <cmath>

namespace ado {

namespace {
constexpr qint64 MsPerDay = 86400000;
// 9999-12-31 in the 1900 system, Excel's last date.
constexpr double LastSerial = 2958466.0;
} // namespace

QDateTime ExcelDate::FromSerial(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial >= LastSerial)
        return {};
    const qint64 ms = std::llround(serial * double(MsPerDay));
    const qint64 days = ms / MsPerDay;
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(ms % MsPerDay));
    QDate date;
    if (days == 0)
        date = QDate(1899, 12, 30);
    else if (date1904)
        date = QDate(1904, 1, 1).addDays(days);
    else if (days < 60)
        // Serials before the fictitious 29 February 1900 count from 31 December 1899.
        date = QDate(1899, 12, 31).addDays(days);
    else
        // From 1 March 1900 on, Excel and OLE dates agree; 60 itself lands on 28 February.
        date = QDate(1899, 12, 30).addDays(days);
    // UTC keeps the wall time whole: local time would shift times inside a DST gap.
    return QDateTime(date, time, Qt::UTC);
}

} // namespace ado
