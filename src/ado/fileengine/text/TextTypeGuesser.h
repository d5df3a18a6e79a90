#pragma once

#include "ado/fileengine/text/TextColumn.h"
#include "ado/fileengine/text/TextValueCodec.h"

#include <QList>
#include <QStringList>
#include <QVector>

namespace ado {

// Decides the type of each column from the rows it is shown, as the text driver does with
// MaxScanRows: a column is the narrowest of Long, BigInt, Double, Date, DateTime and Bit
// (True/False) that every non-empty field fits, else Text (Memo past 255 characters).
// An integer written with a leading zero ("08123") keeps the column text, so that codes
// and postal codes are not turned into numbers. Empty columns are text.
class TextTypeGuesser {
public:
    explicit TextTypeGuesser(QChar decimalSymbol = u'.') : m_codec(decimalSymbol) {}

    void Add(const QStringList& fields);
    int ColumnCount() const { return int(m_columns.size()); }
    qint64 RowCount() const { return m_rows; }
    // The guessed column; name left empty.
    TextColumn Column(int index) const;

private:
    struct State {
        bool seen = false;
        bool isLong = true;
        bool isBigInt = true;
        bool isDouble = true;
        bool isDate = true;
        bool hasTime = false;
        bool isBool = true;
        qsizetype maxLength = 0;
    };
    void Add(State& state, const QString& field) const;

    TextValueCodec m_codec;
    QVector<State> m_columns;
    qint64 m_rows = 0;
};

} // namespace ado
