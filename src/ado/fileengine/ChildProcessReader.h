#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;

namespace ado {

// Runs a read that a damaged file can crash, hang or inflate without bound in a forked
// child process, with limits on its memory, processor time and wall-clock time, and
// returns the bytes the child wrote through a pipe. Whatever goes wrong in the child
// becomes an AdoError and the program goes on.
class ChildProcessReader {
public:
    struct Limits {
        // Address space the child may take beyond what it inherits from the program.
        qint64 memoryBytes = qint64(2) << 30;
        int cpuSeconds = 120;
        int timeoutMs = 120000;
        // The most the program accepts as an answer; 0 is an eighth of the physical memory.
        qint64 answerBytes = 0;
    };

    // Runs in the child and writes its answer to the device. It runs in a copy of the
    // program that has only the calling thread: it must not wait for other threads.
    using Work = std::function<void(QIODevice& answer)>;

    // Failures read "<failure>: <reason>.", for instance "The workbook 'a.xls' cannot be
    // read: it is damaged (the .xls reader stopped on it with signal 11: ...)."
    ChildProcessReader(QString failure, QString reader, Limits limits);

    // Throws AdoError when the child does not end normally or exceeds a limit.
    QByteArray Run(const Work& work) const;

    // For tests: runs in every child before its work, to make it fail there.
    static void SetChildHook(std::function<void()> hook);

private:
    [[noreturn]] void Fail(const QString& reason) const;
    QString Damaged(const QString& what) const;

    QString m_failure;
    QString m_reader;
    Limits m_limits;
};

} // namespace ado
