#pragma once

#include <QMap>
#include <functional>
#include <vector>

namespace ado {

// The changes a file table made in the current transaction, each as the step that puts
// it back, with the savepoints the SQL engine numbered (0 the outermost).
class UndoLog {
public:
    void Add(std::function<void()> undo);
    bool IsEmpty() const { return m_steps.empty(); }

    void Savepoint(int n);
    // Forgets savepoint n and those inside it; their changes stay in the transaction.
    void Release(int n);
    // Undoes the changes made since savepoint n (all of them when the table joined the
    // transaction after it), newest first; savepoint n stays.
    void RollbackTo(int n);
    // Undoes every change, newest first, and forgets the savepoints.
    void RollbackAll();
    void Clear();

private:
    void UndoDownTo(std::size_t size);

    std::vector<std::function<void()>> m_steps;
    QMap<int, std::size_t> m_savepoints; // savepoint -> number of steps before it
};

} // namespace ado
