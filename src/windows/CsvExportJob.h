#pragma once

#include "windows/CsvFieldFormatter.h"

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CsvExportFile;
class QThread;
namespace ado {
class Recordset;
}

// One export of a recordset's rows to a file. The clone the rows are read through, the
// file and the thread are made and destroyed on the thread that makes the job; only the
// rows are written elsewhere, on workers, which read the clone and nothing else. Each
// worker turns blocks of rows into encoded text; the blocks reach the file in order. The
// shared rows must not change until the job has finished.
class CsvExportJob : public QObject {
    Q_OBJECT
public:
    // Opens the file, takes the clone and writes the header; their failures come from here.
    CsvExportJob(ado::Recordset& rs, const QString& path, bool stripCrLf, QObject* parent = nullptr);
    // Stops and waits for the worker; an unfinished file is removed.
    ~CsvExportJob() override;

    // Writes the rows on a worker thread; finished() follows, on this job's thread.
    void Start();
    // Writes the rows here and now.
    void Run();
    // Asks the worker to stop before its next row; the file is then never put in place.
    void Cancel();
    bool IsCancelled() const { return m_cancel.load(); }

    int RowCount() const { return m_rows; }
    int RowsWritten() const { return m_written.load(std::memory_order_relaxed); }

    // Once, when the rows are written: puts the file in place and returns true, or rethrows why
    // the rows could not be written. False after a Cancel: the file was removed.
    bool Finish();

    // For tests: a worker waits once it has written this many rows (0: never), until the
    // job is cancelled or the hold is lifted.
    static void HoldAfterRowsForTesting(int rows);

signals:
    void finished();

private:
    void WriteRows();
    void Work();
    QByteArray BlockText(int block);
    void Deliver(int block, QByteArray bytes);
    void WaitIfHeld(int block, int row);
    bool Stopped() const { return m_cancel.load(std::memory_order_relaxed) || m_failed.load(std::memory_order_relaxed); }

    std::unique_ptr<CsvExportFile> m_file;
    std::unique_ptr<ado::Recordset> m_clone;
    std::vector<CsvFieldFormatter> m_formatters;
    std::unique_ptr<QThread> m_thread;
    int m_rows = 0;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_written{0};
    std::exception_ptr m_failure;
    std::atomic<bool> m_failed{false};
    // Shared by the workers, under m_mutex but for the counter.
    std::atomic<int> m_nextBlock{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nextToWrite = 0;
    std::map<int, QByteArray> m_done;
};
