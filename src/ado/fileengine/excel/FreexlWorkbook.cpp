#include "ado/fileengine/excel/FreexlWorkbook.h"

#include "ado/AdoError.h"

#include <QDateTime>
#include <QFile>

#include <freexl.h>

namespace ado {

namespace {

QString DescribeFreexlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("the file cannot be opened");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("there is not enough memory to load it");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return QStringLiteral("it is not an Excel 97-2003 file (no compound document header)");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("the compound document holds no workbook stream");
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
        return QStringLiteral("its text is in a character set that cannot be converted");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("it is severely damaged");
    default:
        return QStringLiteral("it is truncated or damaged (FreeXL error %1)").arg(code);
    }
}

QDateTime Timestamp(const char* text, bool timeOnly)
{
    if (!text)
        return {};
    const QString s = QString::fromLatin1(text);
    if (timeOnly)
        return QDateTime(QDate(1899, 12, 30), QTime::fromString(s, QStringLiteral("HH:mm:ss")), Qt::UTC);
    const QDate date = QDate::fromString(s.left(10), Qt::ISODate);
    const QTime time = s.size() > 10 ? QTime::fromString(s.mid(11), QStringLiteral("HH:mm:ss")) : QTime(0, 0);
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

void FreexlWorkbook::HandleCloser::operator()(const void* handle) const
{
    freexl_close(handle);
}

FreexlWorkbook::FreexlWorkbook(const QString& file) : m_file(file)
{
    const void* handle = nullptr;
    const int rc = freexl_open(QFile::encodeName(file).constData(), &handle);
    // FreeXL wants its handle closed even after a failed open.
    m_handle.reset(handle);
    if (rc != FREEXL_OK)
        Fail(rc);
    // FreeXL may report success yet give no handle when it cannot follow the streams.
    if (!handle)
        Fail(QStringLiteral("no worksheet could be read from it"));
    unsigned int info = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        Fail(QStringLiteral("it is protected by a password"));
    unsigned int count = 0;
    if (const int e = freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count); e != FREEXL_OK)
        Fail(e);
    // Excel never saves a workbook without a sheet: none found means FreeXL could not
    // follow the file (a damaged stream or a BIFF variant it does not handle).
    if (count == 0)
        Fail(QStringLiteral("no worksheet could be read from it"));
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = nullptr;
        if (const int e = freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name); e != FREEXL_OK)
            Fail(e);
        m_sheetNames << QString::fromUtf8(name ? name : "");
    }
}

FreexlWorkbook::~FreexlWorkbook() = default;

void FreexlWorkbook::Fail(const QString& reason) const
{
    throw AdoError(err::Unspecified, QStringLiteral("The workbook '%1' cannot be read: %2.").arg(m_file, reason));
}

void FreexlWorkbook::Fail(int freexlError) const
{
    Fail(DescribeFreexlError(freexlError));
}

SheetGrid FreexlWorkbook::ReadSheet(int index) const
{
    const void* handle = m_handle.get();
    if (const int e = freexl_select_active_worksheet(handle, static_cast<unsigned short>(index)); e != FREEXL_OK)
        Fail(e);
    // Despite FreeXL's documentation these are counts, not last indexes.
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (const int e = freexl_worksheet_dimensions(handle, &rows, &columns); e != FREEXL_OK)
        Fail(e);
    if (rows > unsigned(SheetGrid::MaxRows) || columns > SheetGrid::MaxColumns)
        Fail(QStringLiteral("the sheet claims %1 rows and %2 columns").arg(rows).arg(columns));
    SheetGrid grid;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue cell;
            if (const int e = freexl_get_cell_value(handle, r, c, &cell); e != FREEXL_OK)
                Fail(e);
            QVariant value;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                value = double(cell.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                value = cell.value.double_value;
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                value = QString::fromUtf8(cell.value.text_value);
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                value = Timestamp(cell.value.text_value, cell.type == FREEXL_CELL_TIME);
                break;
            default:
                break;
            }
            grid.Set(int(r), int(c), value);
        }
    }
    return grid;
}

} // namespace ado
