#include "ado/fileengine/dbase/DbfCursor.h"

#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfRecordCodec.h"

namespace ado {

namespace {
constexpr qint64 ChunkBytes = 1024 * 1024;
}

DbfCursor::DbfCursor(const DbfFile* file, const DbfRecordCodec* codec)
    : m_file(file), m_codec(codec), m_count(file->RecordCount()), m_reader(file, codec)
{
}

bool DbfCursor::Next()
{
    const int length = m_file->RecordLength();
    while (++m_index < m_count) {
        if (m_index >= m_chunkFirst + m_chunkRecords) {
            m_chunkFirst = m_index;
            m_chunk = m_file->ReadRecords(m_index, qMax<qint64>(1, ChunkBytes / length));
            m_chunkRecords = m_chunk.size() / length;
            if (m_chunkRecords == 0)
                return false;
        }
        if (m_chunk[(m_index - m_chunkFirst) * length] != '*')
            return true;
    }
    return false;
}

const char* DbfCursor::Record() const
{
    return m_chunk.constData() + (m_index - m_chunkFirst) * m_file->RecordLength();
}

QVariant DbfCursor::Value(int column) const
{
    return m_codec->Value(Record(), column);
}

void DbfCursor::Put(int column, FileValueSink& sink) const
{
    m_reader.Put(Record(), column, sink);
}

} // namespace ado
