#include "windows/CsvExportJob.h"

#include "ado/Field.h"
#include "ado/Recordset.h"
#include "windows/CsvExportFile.h"

#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int BlockRows = 16384;
constexpr int BlocksAhead = 3;

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
    m_file->WriteEncoded(m_file->Encode(header));
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
    {
        // Taken so that a worker between its test and its wait cannot miss the news.
        const std::lock_guard lock(m_mutex);
    }
    m_changed.notify_all();
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
    // Reading the rows and formatting them cost about the same: two workers where there
    // are two cores.
    std::thread second;
    if (QThread::idealThreadCount() > 1 && m_rows > BlockRows)
        second = std::thread([this] { Work(); });
    Work();
    if (second.joinable())
        second.join();
    if (Stopped())
        return;
    try {
        m_file->Sync();
    } catch (...) {
        m_failure = std::current_exception();
    }
}

void CsvExportJob::Work()
{
    try {
        for (;;) {
            const int block = m_nextBlock.fetch_add(1);
            if (qint64(block) * BlockRows >= m_rows)
                return;
            {
                // No more than a few blocks wait for the file.
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return block < m_nextToWrite + BlocksAhead || Stopped(); });
            }
            if (Stopped())
                return;
            QByteArray bytes = BlockText(block);
            if (Stopped())
                return;
            Deliver(block, std::move(bytes));
        }
    } catch (...) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
            m_failed = true;
        }
        m_changed.notify_all();
    }
}

QByteArray CsvExportJob::BlockText(int block)
{
    const int fields = int(m_formatters.size());
    const int first = block * BlockRows;
    const int count = std::min(BlockRows, m_rows - first);
    // Rows in a sorted order lie anywhere in memory: a big block of them is read in
    // storage order.
    std::vector<QVariant> values(size_t(count) * size_t(fields));
    m_clone->ValuesAt(first, count, values.data());
    QString text;
    text.reserve(qsizetype(count) * 16 * fields);
    for (int r = 0; r < count; ++r) {
        WaitIfHeld(block, first + r);
        if (Stopped())
            return {};
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                text.append(u';');
            m_formatters[size_t(i)].Append(text, values[size_t(i) * size_t(count) + size_t(r)]);
        }
        text.append(QLatin1StringView("\r\n"));
    }
    return m_file->Encode(text);
}

void CsvExportJob::Deliver(int block, QByteArray bytes)
{
    {
        std::unique_lock lock(m_mutex);
        m_done.emplace(block, std::move(bytes));
        // Whoever holds the next block in order writes it and any that follow it.
        while (!m_done.empty() && m_done.begin()->first == m_nextToWrite && !Stopped()) {
            m_file->WriteEncoded(m_done.begin()->second);
            m_done.erase(m_done.begin());
            ++m_nextToWrite;
            m_written.store(std::min(m_rows, m_nextToWrite * BlockRows), std::memory_order_relaxed);
        }
    }
    m_changed.notify_all();
}

void CsvExportJob::HoldAfterRowsForTesting(int rows)
{
    {
        const std::lock_guard lock(g_holdMutex);
        g_holdAfter = rows;
    }
    g_holdChanged.notify_all();
}

void CsvExportJob::WaitIfHeld(int block, int row)
{
    if (row == 0 || g_holdAfter.load(std::memory_order_relaxed) != row)
        return;
    {
        // Every row before this one is in the file first, as a single worker would have it.
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_nextToWrite == block || Stopped(); });
        m_written.store(row, std::memory_order_relaxed);
    }
    std::unique_lock lock(g_holdMutex);
    g_holdChanged.wait(lock, [&] { return g_holdAfter != row || m_cancel; });
}
