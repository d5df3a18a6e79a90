#include "ado/fileengine/dbase/DbfTable.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"
#include "ado/fileengine/dbase/DbfCursor.h"
#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfMemoFile.h"
#include "ado/fileengine/dbase/DbfRecordCodec.h"

#include <QDir>
#include <QFileInfo>

namespace ado {

namespace {

// The file beside path with the same base name and one of the suffixes, in any case.
QString Sibling(const QString& path, const QStringList& suffixes)
{
    const QFileInfo info(path);
    const QString base = info.completeBaseName();
    const QFileInfoList entries = info.dir().entryInfoList(QDir::Files);
    for (const QString& suffix : suffixes) {
        for (const QFileInfo& entry : entries) {
            if (entry.completeBaseName().compare(base, Qt::CaseInsensitive) == 0
                && entry.suffix().compare(suffix, Qt::CaseInsensitive) == 0)
                return entry.filePath();
        }
    }
    return {};
}

bool NeedsMemo(const DbfFile& file)
{
    for (const DbfField& f : file.Fields()) {
        if (f.type == 'M' || f.type == 'G' || f.type == 'P' || (f.type == 'B' && !file.IsVisualFoxPro()))
            return true;
    }
    return false;
}

// Unbuffered: every read sees what other programs wrote, no write waits in a buffer.
bool OpenReadWrite(QFile& file)
{
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered)
        || file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

// Puts back what a refused change wrote; a repair that fails too is named with the cause.
template <class F>
[[noreturn]] void RepairAndRethrow(const AdoError& cause, F&& repair)
{
    try {
        repair();
    } catch (const AdoError& e) {
        throw AdoError(cause.Number(), cause.Description() + QStringLiteral(" The file could not be put back as it was: ")
                                           + e.Description());
    }
    throw cause;
}

} // namespace

DbfTable::DbfTable(const QString& path) : m_device(path)
{
    const QString name = QFileInfo(path).fileName();
    if (!OpenReadWrite(m_device))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot open the file '%1': %2").arg(name, m_device.errorString()));
    if (!m_device.isWritable())
        m_readOnly = QStringLiteral("Cannot update. The file '%1' is read-only.").arg(name);

    QByteArray codePage;
    if (const QString cpg = Sibling(path, {QStringLiteral("cpg")}); !cpg.isEmpty()) {
        QFile f(cpg);
        if (f.open(QIODevice::ReadOnly))
            codePage = DbfCodePage::NameForCpg(f.read(64));
    }
    m_file = std::make_unique<DbfFile>(&m_device, name, codePage);
    if (m_readOnly.isEmpty())
        m_readOnly = m_file->WriteRefusal();

    QString memoName = QFileInfo(path).completeBaseName() + (m_file->IsVisualFoxPro() || m_file->Version() == 0xF5 ? u".fpt"_qs : u".dbt"_qs);
    if (NeedsMemo(*m_file)) {
        const QString memoPath = Sibling(path, {QStringLiteral("fpt"), QStringLiteral("dbt")});
        if (!memoPath.isEmpty()) {
            memoName = QFileInfo(memoPath).fileName();
            m_memoDevice.setFileName(memoPath);
            if (!OpenReadWrite(m_memoDevice))
                throw AdoError(err::Unspecified, QStringLiteral("Cannot open the file '%1': %2").arg(memoName, m_memoDevice.errorString()));
            if (!m_memoDevice.isWritable() && m_readOnly.isEmpty())
                m_readOnly = QStringLiteral("Cannot update. The file '%1' is read-only.").arg(memoName);
            const DbfMemoFile::Kind kind = QFileInfo(memoPath).suffix().compare(u"fpt"_qs, Qt::CaseInsensitive) == 0 ? DbfMemoFile::Kind::FoxPro
                                           : m_file->Version() == 0x83                                              ? DbfMemoFile::Kind::DBase3
                                                                                                                    : DbfMemoFile::Kind::DBase4;
            m_memo = std::make_unique<DbfMemoFile>(&m_memoDevice, kind, memoName);
        }
    }
    m_codec = std::make_unique<DbfRecordCodec>(m_file.get(), m_memo.get(), memoName);
}

DbfTable::~DbfTable() = default;

QVector<FileColumn> DbfTable::Columns() const
{
    return m_codec->Columns();
}

std::unique_ptr<FileTableCursor> DbfTable::Scan()
{
    m_file->Refresh();
    return std::make_unique<DbfCursor>(m_file.get(), m_codec.get());
}

QString DbfTable::ReadOnlyReason() const
{
    return m_readOnly.isEmpty() ? FileTable::ReadOnlyReason() : m_readOnly;
}

void DbfTable::PrepareWrite()
{
    if (!m_readOnly.isEmpty())
        throw AdoError(err::Unspecified, m_readOnly);
    if (!m_lock) {
        // Both files or neither, always the .dbf first so that two writers cannot deadlock.
        m_lock.emplace(m_device.handle(), m_file->Name());
        try {
            if (m_memo)
                m_memoLock.emplace(m_memoDevice.handle(), m_file->Name());
        } catch (const AdoError&) {
            m_lock.reset();
            throw;
        }
    }
    // Under the lock: what another program appended before it counts.
    m_file->Refresh();
}

void DbfTable::Sync()
{
    if (!m_lock || Log().IsEmpty())
        return;
    FileIo::Sync(&m_device, m_file->Name());
    if (m_memo)
        FileIo::Sync(&m_memoDevice, QFileInfo(m_memoDevice.fileName()).fileName());
}

void DbfTable::LetGo()
{
    m_memoLock.reset();
    m_lock.reset();
}

QByteArray DbfTable::LiveRecord(qint64 rowId) const
{
    const QByteArray record = m_file->ReadRecord(rowId - 1);
    if (record[0] == '*')
        throw AdoError(err::RowNotFound, QStringLiteral("The record %1 of '%2' has been deleted.").arg(rowId).arg(m_file->Name()));
    return record;
}

qint64 DbfTable::Insert(const QVector<QVariant>& values)
{
    return Change([&] {
        PrepareWrite();
        const DbfMemoFile::Mark mark = m_memo ? m_memo->MakeMark() : DbfMemoFile::Mark();
        DbfFile::Appended appended;
        qint64 index = 0;
        try {
            index = m_file->AppendRecord(m_codec->Encode(values, m_file->BlankRecord(), true), &appended);
        } catch (const AdoError& e) {
            RepairAndRethrow(e, [&] {
                // An autoincrement taken for a refused record goes back too.
                m_file->Refresh();
                if (m_memo)
                    m_memo->Restore(mark);
            });
        }
        Log().Add([this, appended, mark] {
            m_file->UndoAppend(appended);
            if (m_memo)
                m_memo->Restore(mark);
        });
        return index + 1;
    });
}

void DbfTable::Update(qint64 rowId, const QVector<QVariant>& values)
{
    Change([&] {
        PrepareWrite();
        const QByteArray old = LiveRecord(rowId);
        const DbfMemoFile::Mark mark = m_memo ? m_memo->MakeMark() : DbfMemoFile::Mark();
        QByteArray record;
        try {
            record = m_codec->Encode(values, old, false);
            if (record != old)
                m_file->WriteRecord(rowId - 1, record);
        } catch (const AdoError& e) {
            RepairAndRethrow(e, [&] {
                if (m_memo)
                    m_memo->Restore(mark);
            });
        }
        if (record == old && (!m_memo || FileIo::Size(&m_memoDevice) == mark.size))
            return;
        Log().Add([this, rowId, old, mark] {
            m_file->Refresh();
            m_file->WriteRecord(rowId - 1, old);
            if (m_memo)
                m_memo->Restore(mark);
        });
    });
}

void DbfTable::Delete(qint64 rowId)
{
    Change([&] {
        PrepareWrite();
        const QByteArray old = LiveRecord(rowId);
        m_file->MarkDeleted(rowId - 1);
        Log().Add([this, rowId, old] {
            m_file->Refresh();
            m_file->WriteRecord(rowId - 1, old);
        });
    });
}

} // namespace ado
