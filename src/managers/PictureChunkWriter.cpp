#include "managers/PictureChunkWriter.h"

#include "ado/AdoError.h"
#include "ado/Field.h"

#include <QByteArray>
#include <QIODevice>

namespace {

constexpr long InputPastEndOfFile = 62;
constexpr qint64 PieceCountLimit = 32767;

QByteArray ReadPiece(QIODevice& file, qint64 size)
{
    const QByteArray piece = file.read(size);
    if (piece.size() != size)
        throw ado::AdoError(InputPastEndOfFile, QStringLiteral("Input past end of file"));
    return piece;
}

} // namespace

PictureChunkWriter::Plan PictureChunkWriter::PlanFor(qint64 length)
{
    const qint64 whole = length / PieceSize;
    if (length < 0 || whole >= PieceCountLimit)
        throw ado::AdoError(ado::err::Overflow, QStringLiteral("Overflow"));
    return Plan{length % PieceSize, qint16(whole)};
}

bool PictureChunkWriter::Write(QIODevice& file, ado::Field field, const std::function<bool()>& pause)
{
    const Plan plan = PlanFor(file.size());
    file.seek(0);
    field.AppendChunk(ReadPiece(file, plan.firstPiece));
    for (qint16 i = 0; i < plan.wholePieces; ++i) {
        field.AppendChunk(ReadPiece(file, PieceSize));
        if (pause && !pause())
            return false;
    }
    return true;
}
