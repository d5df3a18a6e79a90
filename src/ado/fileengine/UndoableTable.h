#pragma once

#include "ado/AdoError.h"
#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/UndoLog.h"

#include <type_traits>

namespace ado {

// A file table that keeps an undo log of its changes for the transactions of FileTable.
// The table locks its files at its first change (it cannot know before whether a
// statement will change anything) and lets go at Commit or Rollback.
class UndoableTable : public FileTable {
public:
    bool CanUndo() const override { return true; }
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    void Savepoint(int n) override { m_log.Savepoint(n); }
    void Release(int n) override { m_log.Release(n); }
    void RollbackTo(int n) override;

protected:
    // Runs a change inside the open transaction, or as one of its own when there is none.
    template <class F>
    auto Change(F&& change) -> decltype(change());
    UndoLog& Log() { return m_log; }
    // Releases the locks taken by the changes.
    virtual void LetGo() = 0;
    // Called after changes were undone, to forget what was read of them; must not throw.
    virtual void Undone() {}

private:
    void Finish();
    [[noreturn]] void RollBackAfter(const AdoError& cause);

    bool m_inTransaction = false;
    UndoLog m_log;
};

template <class F>
auto UndoableTable::Change(F&& change) -> decltype(change())
{
    if (m_inTransaction)
        return change();
    Begin();
    try {
        if constexpr (std::is_void_v<decltype(change())>) {
            change();
            Sync();
            Commit();
        } else {
            auto result = change();
            Sync();
            Commit();
            return result;
        }
    } catch (const AdoError& e) {
        RollBackAfter(e);
    } catch (...) {
        Rollback();
        throw;
    }
}

} // namespace ado
