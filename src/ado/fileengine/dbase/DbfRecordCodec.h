#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/dbase/DbfField.h"

#include <QVariant>
#include <QVector>

namespace ado {

class DbfFile;
class DbfMemoFile;

// Turns the bytes of a record into values and values into bytes, field by field.
//
// Writing refuses what the field cannot hold instead of cutting it: a text longer than a
// C field, a number wider than N(w,d), a character outside the code page, an integer out
// of range. A value equal to the one stored keeps its bytes (no new memo block either).
class DbfRecordCodec {
public:
    // memo may be null: memo values then fail with an error naming the missing file.
    DbfRecordCodec(DbfFile* file, DbfMemoFile* memo, QString memoName);

    // The visible columns (system fields such as _NullFlags are left out) and their types.
    QVector<FileColumn> Columns() const;
    const QVector<int>& VisibleFields() const { return m_visible; }

    // The value of the visible column in a raw record (starting at its deletion flag).
    QVariant Value(const char* record, int column) const;
    // Whether the _NullFlags bit (a field's nullBit or varBit) is set; false for bit -1.
    bool IsNullBitSet(const char* record, int bit) const;

    // A new record from old (the stored one, or a blank one for an insert) with the
    // values of the visible columns. New memo blocks are only written once every other
    // value has been checked.
    QByteArray Encode(const QVector<QVariant>& values, const QByteArray& old, bool inserting);

private:
    QVariant Decode(const DbfField& f, const char* record) const;
    QByteArray EncodeField(const DbfField& f, const QVariant& value) const;
    QVariant ReadMemo(const DbfField& f, const QByteArray& raw) const;
    QByteArray MemoPointer(const DbfField& f, qint64 block) const;
    void SetBit(QByteArray& record, int bit, bool on) const;
    static QString DeclaredType(const DbfField& f, bool visualFoxPro);

    DbfFile* m_file;
    DbfMemoFile* m_memo;
    QString m_memoName;
    QVector<int> m_visible;
};

} // namespace ado
