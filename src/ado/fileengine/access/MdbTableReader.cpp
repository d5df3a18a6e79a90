#include "ado/fileengine/access/MdbTableReader.h"

#include "ado/AdoError.h"
#include "ado/fileengine/access/AccessReader.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUuid>
#include <QVarLengthArray>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace ado {

namespace {

constexpr int RowOffsetMask = 0x1fff;
constexpr int MaxChainPages = 1 << 20;

bool Readable(int type)
{
    switch (type) {
    case MDB_BOOL: case MDB_BYTE: case MDB_INT: case MDB_LONGINT: case MDB_MONEY: case MDB_FLOAT:
    case MDB_DOUBLE: case MDB_DATETIME: case MDB_BINARY: case MDB_TEXT: case MDB_OLE: case MDB_MEMO:
    case MDB_REPID: case MDB_NUMERIC:
        return true;
    default:
        return false;
    }
}

// Jet dates count days from 1899-12-30; the fraction is the time of day, also for
// negative days (-1.25 is 1899-12-29 06:00). Access stores whole seconds.
QVariant JetDateTime(double value)
{
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return {};
    double day = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - day) * 86400.0) * 1000;
    if (ms >= 86400000) {
        ms -= 86400000;
        day += 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(day));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}

QString Guid(const unsigned char* p)
{
    const QUuid id(qFromLittleEndian<quint32>(p), qFromLittleEndian<quint16>(p + 4), qFromLittleEndian<quint16>(p + 6),
                   p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return id.toString(QUuid::WithBraces).toUpper();
}

QString TakeGString(char* text)
{
    const QString s = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return s;
}

} // namespace

void MdbTableReader::TableDeleter::operator()(MdbTableDef* table) const
{
    if (table)
        mdb_free_tabledef(table);
}

MdbTableReader::MdbTableReader(const MdbDatabase& database, const QString& table)
    : m_database(database), m_name(table), m_mdb(database.Clone())
{
    MdbCatalogEntry* entry = nullptr;
    for (unsigned i = 0; i < m_mdb->num_catalog && !entry; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_mdb->catalog, i));
        if (e->object_type == MDB_TABLE && QString::fromUtf8(e->object_name) == table)
            entry = e;
    }
    if (!entry)
        throw AccessReader::TableNotFound(table);
    m_table.reset(mdb_read_table(entry));
    if (!m_table || !mdb_read_columns(m_table.get()) || m_table->num_cols > MDB_MAX_COLS)
        Damaged();
    mdb_rewind_table(m_table.get());

    m_fields.resize(int(m_table->num_cols));
    for (unsigned i = 0; i < m_table->num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(m_table->columns, i));
        if (!Readable(col->col_type))
            continue;
        m_columns.append({QString::fromUtf8(col->name), col->col_type, col->col_size, col->col_prec, col->col_scale, int(i)});
    }
}

MdbTableReader::~MdbTableReader()
{
    // The table definition refers to the handle: free it first.
    m_table.reset();
}

bool MdbTableReader::IsJet3() const
{
    return m_mdb->f->jet_version == MDB_VER_JET3;
}

// Declared types chosen for the ADO type codes Jet reports for each column type.
QString MdbTableReader::DeclaredType(const Column& c) const
{
    switch (c.type) {
    case MDB_BOOL:
        return QStringLiteral("BOOLEAN");
    case MDB_BYTE:
        return QStringLiteral("TINYINT");
    case MDB_INT:
        return QStringLiteral("SMALLINT");
    case MDB_LONGINT:
        return QStringLiteral("INTEGER");
    case MDB_MONEY:
        return QStringLiteral("CURRENCY");
    case MDB_FLOAT:
        return QStringLiteral("FLOAT4");
    case MDB_DOUBLE:
        return QStringLiteral("DOUBLE");
    case MDB_DATETIME:
        return QStringLiteral("DATETIME");
    case MDB_BINARY:
        return QStringLiteral("BINARY(%1)").arg(c.size);
    case MDB_TEXT:
        // Jet 4 stores text as UCS-2: the size is in bytes.
        return QStringLiteral("VARCHAR(%1)").arg(IsJet3() ? c.size : c.size / 2);
    case MDB_MEMO:
        return QStringLiteral("MEMO");
    case MDB_OLE:
        return QStringLiteral("BLOB");
    case MDB_REPID:
        return QStringLiteral("GUID");
    case MDB_NUMERIC:
        return QStringLiteral("NUMERIC(%1,%2)").arg(c.precision).arg(c.scale);
    default:
        return QStringLiteral("TEXT");
    }
}

void MdbTableReader::Damaged() const
{
    throw AdoError(err::Unspecified, QStringLiteral("The table '%1' cannot be read: %2")
                                         .arg(m_name, MdbDatabase::DamagedMessage(m_database.Path())));
}

bool MdbTableReader::Next()
{
    if (m_done)
        return false;
    if (!mdb_fetch_row(m_table.get())) {
        m_done = true;
        // libmdb ends a scan quietly at a page it cannot read.
        if (m_rowNumber < qint64(m_table->num_rows))
            Damaged();
        return false;
    }
    ++m_rowNumber;
    CrackCurrentRow();
    return true;
}

void MdbTableReader::CrackCurrentRow()
{
    MdbHandle* mdb = m_mdb.get();
    int start = 0;
    size_t length = 0;
    if (m_table->cur_row < 1 || mdb_find_row(mdb, int(m_table->cur_row) - 1, &start, &length) != 0)
        Damaged();
    start &= RowOffsetMask;
    QVarLengthArray<MdbField, MDB_MAX_COLS> fields(MDB_MAX_COLS);
    std::memset(fields.data(), 0, sizeof(MdbField) * size_t(fields.size()));
    const int count = mdb_crack_row(m_table.get(), start, length, fields.data());
    if (count < 0)
        Damaged();
    for (MdbField& f : m_fields) {
        f = MdbField{};
        f.is_null = 1;
    }
    for (int i = 0; i < count && i < fields.size(); ++i) {
        const int colnum = fields[i].colnum;
        if (colnum >= 0 && colnum < m_fields.size())
            m_fields[colnum] = fields[i];
    }
}

QVariant MdbTableReader::Value(int column)
{
    const Column& c = m_columns.at(column);
    return Decode(c, m_fields.at(c.index));
}

QVariant MdbTableReader::Decode(const Column& column, const MdbField& field)
{
    // A Yes/No column lives in the null mask: a clear bit is No.
    if (column.type == MDB_BOOL)
        return field.is_null == 0;
    if (field.is_null)
        return {};
    MdbHandle* mdb = m_mdb.get();
    if (field.start < 0 || field.siz < 0 || field.start + field.siz > mdb->fmt->pg_size)
        Damaged();
    const unsigned char* p = mdb->pg_buf + field.start;
    const int n = field.siz;
    const auto need = [&](int bytes) {
        if (n < bytes)
            Damaged();
    };
    switch (column.type) {
    case MDB_BYTE:
        need(1);
        return qint64(p[0]);
    case MDB_INT:
        need(2);
        return qint64(qFromLittleEndian<qint16>(p));
    case MDB_LONGINT:
        need(4);
        return qint64(qFromLittleEndian<qint32>(p));
    case MDB_MONEY:
        need(8);
        return double(qFromLittleEndian<qint64>(p)) / 10000.0;
    case MDB_FLOAT: {
        need(4);
        const quint32 bits = qFromLittleEndian<quint32>(p);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return double(f);
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
        need(8);
        const quint64 bits = qFromLittleEndian<quint64>(p);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return column.type == MDB_DOUBLE ? QVariant(d) : JetDateTime(d);
    }
    case MDB_REPID:
        need(16);
        return Guid(p);
    case MDB_NUMERIC: {
        need(17);
        const QString text = TakeGString(mdb_numeric_to_string(mdb, field.start, column.scale, column.precision));
        // Up to 15 digits a double holds the decimal exactly; beyond, keep the text.
        if (column.precision <= 15) {
            bool ok = false;
            const double d = text.toDouble(&ok);
            if (ok)
                return d;
        }
        return text;
    }
    case MDB_BINARY:
        return QByteArray(reinterpret_cast<const char*>(p), n);
    case MDB_TEXT:
        return Text(reinterpret_cast<const char*>(p), size_t(n));
    case MDB_MEMO: {
        const QByteArray raw = LongValue(field.start, n);
        return Text(raw.constData(), size_t(raw.size()));
    }
    case MDB_OLE:
        return LongValue(field.start, n);
    default:
        return {};
    }
}

QString MdbTableReader::Text(const char* data, size_t length)
{
    if (length == 0)
        return QStringLiteral("");
    // Compressed Jet 4 text doubles when expanded; each UCS-2 unit is at most 3 bytes of UTF-8.
    QByteArray out(qsizetype(length) * 6 + 16, Qt::Uninitialized);
    const int written = mdb_unicode2ascii(m_mdb.get(), data, length, out.data(), size_t(out.size()) - 1);
    return QString::fromUtf8(out.constData(), qBound(0, written, int(out.size()) - 1));
}

// Memo and OLE values: 12 bytes in the row (length and flags, then the page and row of
// the data) and the data either in the row, in one row elsewhere, or in a chain of rows
// each starting with the page and row of the next.
QByteArray MdbTableReader::LongValue(int start, int size)
{
    if (size < MDB_MEMO_OVERHEAD)
        return {};
    const unsigned char* p = m_mdb->pg_buf + start;
    const quint32 header = qFromLittleEndian<quint32>(p);
    const qint64 length = header & 0x3fffffff;
    if (header & 0x80000000u)
        return QByteArray(reinterpret_cast<const char*>(p) + MDB_MEMO_OVERHEAD, size - MDB_MEMO_OVERHEAD);
    quint32 pageRow = qFromLittleEndian<quint32>(p + 4);
    if (header & 0x40000000u)
        return LongValueRow(pageRow).left(length);
    if ((header & 0xff000000u) != 0 || length > m_database.PageCount() * m_mdb->fmt->pg_size)
        Damaged();
    QByteArray out;
    out.reserve(length);
    for (int pages = 0; pageRow != 0 && out.size() < length; ++pages) {
        if (pages > MaxChainPages)
            Damaged();
        const QByteArray row = LongValueRow(pageRow);
        if (row.size() < 4)
            Damaged();
        pageRow = qFromLittleEndian<quint32>(row.constData());
        out.append(row.constData() + 4, row.size() - 4);
    }
    out.truncate(length);
    return out;
}

QByteArray MdbTableReader::LongValueRow(quint32 pageRow)
{
    MdbHandle* mdb = m_mdb.get();
    const quint32 page = pageRow >> 8;
    const int row = int(pageRow & 0xff);
    const int pageSize = int(mdb->fmt->pg_size);
    if (page == 0 || qint64(page) >= m_database.PageCount() || mdb_read_alt_pg(mdb, page) != pageSize)
        Damaged();
    const unsigned char* buf = mdb->alt_pg_buf;
    const int rco = mdb->fmt->row_count_offset;
    if (buf[0] != MDB_PAGE_DATA || row >= qFromLittleEndian<quint16>(buf + rco))
        Damaged();
    const int start = qFromLittleEndian<quint16>(buf + rco + 2 + row * 2) & RowOffsetMask;
    const int end = row == 0 ? pageSize : qFromLittleEndian<quint16>(buf + rco + row * 2) & RowOffsetMask;
    if (start > end || end > pageSize)
        Damaged();
    return QByteArray(reinterpret_cast<const char*>(buf) + start, end - start);
}

} // namespace ado
