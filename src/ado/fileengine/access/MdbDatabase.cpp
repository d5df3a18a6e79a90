#include "ado/fileengine/access/MdbDatabase.h"

#include "ado/AdoError.h"

#include <QFile>
#include <QFileInfo>

namespace ado {

void MdbHandleCloser::operator()(MdbHandle* mdb) const
{
    if (mdb)
        mdb_close(mdb);
}

QString MdbDatabase::DamagedMessage(const QString& path)
{
    return QStringLiteral("Unrecognized database format '%1'.").arg(path);
}

namespace {

// The first page names the format: a magic number, then "Standard Jet DB" or
// "Standard ACE DB", then the version byte that gives the page size.
qint64 PageSizeOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Could not open file '%1': %2").arg(path, file.errorString()));
    const QByteArray head = file.read(0x20);
    if (head.size() < 0x20 || !head.startsWith(QByteArray("\x00\x01\x00\x00", 4))
        || !(head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB"))
        throw AdoError(err::Unspecified, MdbDatabase::DamagedMessage(path));
    return head.at(0x14) == 0 ? 2048 : 4096;
}

} // namespace

MdbDatabase::MdbDatabase(const QString& path)
    : m_path(path)
{
    const qint64 pageSize = PageSizeOf(path);
    // A copy cut short reads as fewer rows in libmdb; refuse it here instead.
    const qint64 size = QFileInfo(path).size();
    if (size < 2 * pageSize || size % pageSize != 0)
        throw AdoError(err::Unspecified, DamagedMessage(path));
    m_pageCount = size / pageSize;

    // libmdb converts text to the charset named by MDBICONV; the program reads UTF-8.
    if (qEnvironmentVariableIsSet("MDBICONV") && qEnvironmentVariable("MDBICONV").compare(u"UTF-8", Qt::CaseInsensitive) != 0)
        qputenv("MDBICONV", "UTF-8");
    m_handle.reset(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!m_handle || m_handle->fmt->pg_size != pageSize)
        throw AdoError(err::Unspecified, DamagedMessage(path));
    if (!mdb_read_catalog(m_handle.get(), MDB_ANY) || !CatalogueComplete())
        throw AdoError(err::Unspecified, DamagedMessage(path));

    for (unsigned i = 0; i < m_handle->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_handle->catalog, i));
        if (entry->object_type != MDB_TABLE)
            continue;
        const QString name = QString::fromUtf8(entry->object_name);
        if (name.isEmpty())
            continue;
        m_tables.append({name, mdb_is_system_table(entry) != 0});
    }
}

// libmdb stops reading the catalogue quietly at a page it cannot read; a table missing
// from it would then look like a table that does not exist.
bool MdbDatabase::CatalogueComplete() const
{
    MdbCatalogEntry* objects = nullptr;
    for (unsigned i = 0; i < m_handle->num_catalog && !objects; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_handle->catalog, i));
        if (entry->object_type == MDB_TABLE && qstrcmp(entry->object_name, "MSysObjects") == 0)
            objects = entry;
    }
    if (!objects)
        return false;
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> table(mdb_read_table(objects), mdb_free_tabledef);
    if (!table || !mdb_read_columns(table.get()))
        return false;
    mdb_rewind_table(table.get());
    unsigned rows = 0;
    while (mdb_fetch_row(table.get()))
        ++rows;
    return rows >= table->num_rows;
}

int MdbDatabase::EngineType() const
{
    switch (m_handle->f->jet_version) {
    case MDB_VER_JET3:
        return 4;
    case MDB_VER_JET4:
        return 5;
    default:
        return 6;
    }
}

MdbHandlePtr MdbDatabase::Clone() const
{
    MdbHandlePtr clone(mdb_clone_handle(m_handle.get()));
    if (!clone)
        throw AdoError(err::Unspecified, DamagedMessage(m_path));
    return clone;
}

} // namespace ado
