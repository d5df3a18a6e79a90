#pragma once

#include <QtGlobal>
#include <memory>
#include <string>

namespace ado {

class DbfFile;
class DbfRecordCodec;
class DbfUtf8Table;
class FileValueSink;
struct DbfField;

// Hands the fields of a raw record to a sink straight from the record's bytes: text goes
// from the code page to UTF-8 through a byte table, numbers are parsed in place. What it
// cannot do that way (memos, multi-byte code pages, unusual number texts) goes through
// DbfRecordCodec::Value, so that every value is the one Value gives.
class DbfValueReader {
public:
    DbfValueReader(const DbfFile* file, const DbfRecordCodec* codec);
    ~DbfValueReader();

    // The visible column of a record (starting at its deletion flag).
    void Put(const char* record, int column, FileValueSink& sink);

private:
    void PutText(const char* p, int length, FileValueSink& sink);
    // False when the text is left to Value.
    static bool PutNumber(const DbfField& f, const char* p, FileValueSink& sink);
    void PutValue(const char* record, int column, FileValueSink& sink) const;

    const DbfFile* m_file;
    const DbfRecordCodec* m_codec;
    std::shared_ptr<const DbfUtf8Table> m_utf8;
    bool m_asciiIdentity = false;
    std::string m_scratch;
};

} // namespace ado
