#include "ado/fileengine/UndoLog.h"

namespace ado {

void UndoLog::Add(std::function<void()> undo)
{
    m_steps.push_back(std::move(undo));
}

void UndoLog::Savepoint(int n)
{
    m_savepoints.removeIf([n](auto it) { return it.key() >= n; });
    m_savepoints.insert(n, m_steps.size());
}

void UndoLog::Release(int n)
{
    m_savepoints.removeIf([n](auto it) { return it.key() >= n; });
}

void UndoLog::RollbackTo(int n)
{
    m_savepoints.removeIf([n](auto it) { return it.key() > n; });
    UndoDownTo(m_savepoints.value(n, 0));
}

void UndoLog::RollbackAll()
{
    m_savepoints.clear();
    UndoDownTo(0);
}

void UndoLog::Clear()
{
    m_steps.clear();
    m_savepoints.clear();
}

void UndoLog::UndoDownTo(std::size_t size)
{
    // A step that fails stays in the log, so that a second rollback can try again.
    while (m_steps.size() > size) {
        m_steps.back()();
        m_steps.pop_back();
    }
}

} // namespace ado
