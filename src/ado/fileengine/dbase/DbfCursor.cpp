#include "ado/fileengine/dbase/DbfCursor.h"

#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfRecordCodec.h"

namespace ado {

namespace {
constexpr qint64 ChunkBytes = 1024 * 1024;
}

DbfCursor::DbfCursor(const DbfFile* file, const DbfRecordCodec* codec)
    : m_file(file), m_codec(codec), m_count(file->RecordCount())
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

QVariant DbfCursor::Value(int column) const
{
    return m_codec->Value(m_chunk.constData() + (m_index - m_chunkFirst) * m_file->RecordLength(), column);
}

} // namespace ado
