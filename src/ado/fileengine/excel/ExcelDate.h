#pragma once

#include <QDateTime>

namespace ado {

// Excel keeps dates as day counts ("serial numbers") from an epoch that depends on the
// workbook: 1900 (with Lotus' fictitious 29 February 1900) or 1904 (old Mac workbooks).
class ExcelDate {
public:
    // The date and time a serial shows in Excel, to the millisecond; invalid when the
    // serial is outside Excel's range. A serial below 1 is a time of day and is given on
    // 30 December 1899, the zero date of OLE dates, in both systems.
    static QDateTime FromSerial(double serial, bool date1904);
};

} // namespace ado
