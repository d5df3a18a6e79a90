#pragma once

#include <QtGlobal>
#include <functional>

class QIODevice;
namespace ado {
class Field;
}

// Writes a file into a long binary field piece by piece: first the length modulo the piece
// size (possibly nothing), then whole pieces, with a pause after each whole piece in which
// the caller lets the user interface run.
class PictureChunkWriter {
public:
    static constexpr qint64 PieceSize = 8192;

    struct Plan {
        qint64 firstPiece;
        qint16 wholePieces;
    };
    // The pieces for a length; 6 "Overflow" when the count of whole pieces reaches 32767,
    // the limit of its 16-bit counter.
    static Plan PlanFor(qint64 length);

    // Writes the whole device from its start into the field, the first piece replacing the
    // field's value. pause runs after every whole piece; when it returns false the writing
    // stops and false is returned, the field then holding only part of the file.
    static bool Write(QIODevice& file, ado::Field field, const std::function<bool()>& pause);
};
