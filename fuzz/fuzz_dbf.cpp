// libFuzzer target for the DBF reader: the input is a .dbf followed by its memo file
// (the bytes after the records the header announces), so that real tables with their
// .dbt/.fpt appended make a seed corpus.
#include "ado/AdoError.h"
#include "ado/fileengine/dbase/DbfCursor.h"
#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfMemoFile.h"
#include "ado/fileengine/dbase/DbfRecordCodec.h"
#include "ado/fileengine/FileVariantSink.h"

#include <QBuffer>
#include <QtEndian>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

qsizetype DbfEnd(const QByteArray& bytes)
{
    if (bytes.size() < 12)
        return bytes.size();
    const auto* h = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 end = qint64(qFromLittleEndian<quint16>(h + 8)) + qint64(qFromLittleEndian<quint32>(h + 4)) * qFromLittleEndian<quint16>(h + 10) + 1;
    return qsizetype(qBound<qint64>(0, end, bytes.size()));
}

// The typed route must give what Value gives, type and bytes.
bool Same(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid() || a.metaType() != b.metaType())
        return false;
    if (a.typeId() == QMetaType::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    return a == b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = DbfEnd(input);
    QBuffer dbf;
    dbf.setData(input.left(split));
    dbf.open(QIODevice::ReadWrite);
    QBuffer memoBuffer;
    memoBuffer.setData(input.mid(split));
    memoBuffer.open(QIODevice::ReadWrite);
    try {
        ado::DbfFile file(&dbf, QStringLiteral("fuzz.dbf"));
        std::unique_ptr<ado::DbfMemoFile> memo;
        if (memoBuffer.size() > 0) {
            const auto kind = file.IsVisualFoxPro() || file.Version() == 0xF5 ? ado::DbfMemoFile::Kind::FoxPro
                              : file.Version() == 0x83                         ? ado::DbfMemoFile::Kind::DBase3
                                                                               : ado::DbfMemoFile::Kind::DBase4;
            try {
                memo = std::make_unique<ado::DbfMemoFile>(&memoBuffer, kind, QStringLiteral("fuzz.fpt"));
            } catch (const ado::AdoError&) {
            }
        }
        ado::DbfRecordCodec codec(&file, memo.get(), QStringLiteral("fuzz.fpt"));
        const int columns = int(codec.Columns().size());
        ado::DbfCursor cursor(&file, &codec);
        QVector<QVariant> first;
        qint64 firstRow = 0;
        while (cursor.Next()) {
            QVector<QVariant> row;
            for (int c = 0; c < columns; ++c) {
                try {
                    row.append(cursor.Value(c));
                } catch (const ado::AdoError&) {
                    row.append(QVariant());
                    continue;
                }
                ado::FileVariantSink sink;
                cursor.Put(c, sink);
                if (!Same(sink.Result(), row.back()))
                    abort();
            }
            if (firstRow == 0) {
                first = row;
                firstRow = cursor.RowId();
            }
        }
        // The writer too: the first record written back with its own values, then appended.
        if (firstRow > 0 && file.WriteRefusal().isEmpty()) {
            const QByteArray old = file.ReadRecord(firstRow - 1);
            file.WriteRecord(firstRow - 1, codec.Encode(first, old, false));
            file.AppendRecord(codec.Encode(first, file.BlankRecord(), true));
        }
    } catch (const ado::AdoError&) {
    }
    return 0;
}
