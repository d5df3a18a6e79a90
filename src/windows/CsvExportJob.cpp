#include "windows/CsvExportJob.h"

#include "ado/Field.h"
#include "ado/Recordset.h"
#include "windows/CsvExportFile.h"

#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

// Text gathered before it is encoded and handed to the file.
constexpr qsizetype ChunkChars = 1 << 17;
constexpr int BlockRows = 512;

std::mutex g_holdMutex;
std::condition_variable g_holdChanged;
std::atomic<int> g_holdAfter{0};

} // namespace

CsvExportJob::CsvExportJob(ado::Recordset& rs, const QString& path, bool stripCrLf, QObject* parent)
    : QObject(parent)
{
    m_file = std::make_unique<CsvExportFile>(path);
    m_clone = rs.Clone();
    // The user's regional form, prepared once for every value of the file.
    const QLocale locale;
    const int fields = m_clone->FieldCount();
    QString header;
    for (int i = 0; i < fields; ++i) {
        const ado::Field field = m_clone->Fields(i);
        m_formatters.emplace_back(field.Type(), stripCrLf, locale);
        if (i > 0)
            header += u';';
        header += field.Name();
    }
    header += QStringLiteral("\r\n");
    m_file->Write(header);
    m_rows = m_clone->RecordCount();
}

CsvExportJob::~CsvExportJob()
{
    if (m_thread) {
        Cancel();
        m_thread->wait();
    }
}

void CsvExportJob::Start()
{
    m_thread.reset(QThread::create([this] { WriteRows(); }));
    connect(m_thread.get(), &QThread::finished, this, &CsvExportJob::finished);
    m_thread->start();
}

void CsvExportJob::Run()
{
    WriteRows();
}

void CsvExportJob::Cancel()
{
    {
        const std::lock_guard lock(g_holdMutex);
        m_cancel = true;
    }
    g_holdChanged.notify_all();
}

bool CsvExportJob::Finish()
{
    if (m_thread)
        m_thread->wait();
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_cancel)
        return false;
    m_clone->Close();
    m_file->Commit();
    return true;
}

void CsvExportJob::WriteRows()
{
    try {
        QString chunk;
        chunk.reserve(ChunkChars + ChunkChars / 4);
        const int fields = int(m_formatters.size());
        // Rows in a sorted order lie anywhere in memory: reading a block of them column by
        // column keeps each column's storage at hand and lets the reads overlap.
        std::vector<QVariant> block(size_t(BlockRows) * size_t(fields));
        for (int first = 0; first < m_rows; first += BlockRows) {
            const int count = std::min(BlockRows, m_rows - first);
            for (int i = 0; i < fields; ++i)
                for (int r = 0; r < count; ++r)
                    block[size_t(r) * size_t(fields) + size_t(i)] = m_clone->ValueAt(first + r, i);
            for (int r = 0; r < count; ++r) {
                const int row = first + r;
                WaitIfHeld(row);
                if (m_cancel.load(std::memory_order_relaxed))
                    return;
                for (int i = 0; i < fields; ++i) {
                    if (i > 0)
                        chunk.append(u';');
                    m_formatters[size_t(i)].Append(chunk, block[size_t(r) * size_t(fields) + size_t(i)]);
                }
                chunk.append(QLatin1StringView("\r\n"));
                if (chunk.size() >= ChunkChars) {
                    m_file->Write(chunk);
                    chunk.resize(0);
                }
                m_written.store(row + 1, std::memory_order_relaxed);
            }
        }
        m_file->Write(chunk);
        m_file->Sync();
    } catch (...) {
        m_failure = std::current_exception();
    }
}

void CsvExportJob::HoldAfterRowsForTesting(int rows)
{
    {
        const std::lock_guard lock(g_holdMutex);
        g_holdAfter = rows;
    }
    g_holdChanged.notify_all();
}

void CsvExportJob::WaitIfHeld(int row) const
{
    if (row == 0 || g_holdAfter.load(std::memory_order_relaxed) != row)
        return;
    std::unique_lock lock(g_holdMutex);
    g_holdChanged.wait(lock, [&] { return g_holdAfter != row || m_cancel; });
}
