#include "ado/fileengine/access/AccessReader.h"

#include "ado/fileengine/ChildProcessReader.h"
#include "ado/fileengine/access/MdbDatabase.h"
#include "ado/fileengine/access/MdbTableReader.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <unistd.h>

namespace ado {

namespace {

// What precedes each record of a table's rows in the answer.
enum class RowsTag : quint8 { Row, End, Failure };

ChildProcessReader::Limits LimitsFor(const QString& file)
{
    const qint64 size = QFileInfo(file).size();
    ChildProcessReader::Limits limits;
    // libmdb needs little beyond its pages; a memo value, at most the file's size, is
    // held a few times over while it is converted and written.
    const qint64 physical = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    limits.memoryBytes = std::min((qint64(256) << 20) + 8 * size, std::max(qint64(256) << 20, physical / 2));
    // Reading takes well under a second per ten megabytes; a reader far slower loops.
    limits.cpuSeconds = int(std::min<qint64>(limits.timeoutMs / 1000, 30 + size / (10 << 20)));
    return limits;
}

void WriteFailure(QDataStream& out, const AdoError& e)
{
    out << qint64(e.Number()) << e.Description();
}

AdoError ReadFailure(QDataStream& in)
{
    qint64 number = 0;
    QString description;
    in >> number >> description;
    return AdoError(long(number), description);
}

// In the child: the file's engine type and tables, each with its columns or its failure.
void WriteCatalogue(const QString& file, QDataStream& out)
{
    std::optional<MdbDatabase> database;
    try {
        database.emplace(file);
    } catch (const AdoError& e) {
        out << false;
        WriteFailure(out, e);
        return;
    }
    const QList<MdbDatabase::Table> tables = database->Tables();
    out << true << qint32(database->EngineType()) << qint32(tables.size());
    for (const MdbDatabase::Table& t : tables) {
        out << t.name << t.system;
        try {
            const MdbTableReader reader(*database, t.name);
            QVector<FileColumn> columns;
            for (const MdbTableReader::Column& c : reader.Columns())
                columns.append({c.name, reader.DeclaredType(c)});
            out << true << qint32(columns.size());
            for (const FileColumn& c : columns)
                out << c.name << c.declaredType;
        } catch (const AdoError& e) {
            out << false;
            WriteFailure(out, e);
        }
    }
}

// In the child: the rows as libmdb finds them, then the end or the failure that ends them.
void WriteRows(const QString& file, const QString& table, QDataStream& out)
{
    try {
        const MdbDatabase database(file);
        MdbTableReader reader(database, table);
        const int count = int(reader.Columns().size());
        QVector<QVariant> row(count);
        while (reader.Next()) {
            for (int c = 0; c < count; ++c)
                row[c] = reader.Value(c);
            out << RowsTag::Row << row;
        }
        out << RowsTag::End;
    } catch (const AdoError& e) {
        out << RowsTag::Failure;
        WriteFailure(out, e);
    }
}

[[noreturn]] void Incomplete(const QString& failure)
{
    throw AdoError(err::Unspecified, QStringLiteral("%1: the Access reader gave an incomplete answer.").arg(failure));
}

} // namespace

AccessReader::Catalogue AccessReader::ReadCatalogue(const QString& file)
{
    const QString failure = QStringLiteral("The database '%1' cannot be read").arg(file);
    const ChildProcessReader child(failure, QStringLiteral("Access"), LimitsFor(file));
    const QByteArray answer = child.Run([&file](QIODevice& device) {
        QDataStream out(&device);
        WriteCatalogue(file, out);
    });

    QDataStream in(answer);
    bool ok = false;
    in >> ok;
    if (!ok) {
        const AdoError e = ReadFailure(in);
        if (in.status() != QDataStream::Ok)
            Incomplete(failure);
        throw e;
    }
    Catalogue catalogue;
    qint32 engineType = 0, count = 0;
    in >> engineType >> count;
    catalogue.engineType = engineType;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        Table t;
        bool readable = false;
        in >> t.name >> t.system >> readable;
        if (readable) {
            qint32 columns = 0;
            in >> columns;
            for (qint32 c = 0; c < columns && in.status() == QDataStream::Ok; ++c) {
                FileColumn column;
                in >> column.name >> column.declaredType;
                t.columns.append(column);
            }
        } else {
            t.failure = ReadFailure(in);
        }
        catalogue.tables.append(t);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        Incomplete(failure);
    return catalogue;
}

AccessReader::Rows AccessReader::ReadRows(const QString& file, const QString& table)
{
    const QString failure = QStringLiteral("The table '%1' of '%2' cannot be read").arg(table, file);
    const ChildProcessReader child(failure, QStringLiteral("Access"), LimitsFor(file));
    const QByteArray answer = child.Run([&file, &table](QIODevice& device) {
        QDataStream out(&device);
        WriteRows(file, table, out);
    });

    Rows rows;
    QDataStream in(answer);
    for (;;) {
        RowsTag tag = RowsTag::End;
        in >> tag;
        if (in.status() != QDataStream::Ok)
            Incomplete(failure);
        if (tag == RowsTag::Row) {
            QVector<QVariant> row;
            in >> row;
            rows.values.append(std::move(row));
        } else if (tag == RowsTag::Failure) {
            rows.failure = ReadFailure(in);
            break;
        } else if (tag == RowsTag::End) {
            break;
        } else {
            Incomplete(failure);
        }
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        Incomplete(failure);
    return rows;
}

AdoError AccessReader::TableNotFound(const QString& table)
{
    return AdoError(err::TableNotFound, QStringLiteral("The Microsoft Jet database engine cannot find the input table or "
                                                       "query '%1'. Make sure it exists and that its name is spelled correctly.")
                                            .arg(table));
}

} // namespace ado
