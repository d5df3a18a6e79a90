#include "ado/fileengine/UndoableTable.h"

namespace ado {

void UndoableTable::Begin()
{
    m_log.Clear();
    m_inTransaction = true;
}

void UndoableTable::Commit()
{
    m_log.Clear();
    m_inTransaction = false;
    LetGo();
}

void UndoableTable::Rollback()
{
    // Whatever happens, the transaction is over and the files are let go.
    try {
        m_log.RollbackAll();
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
}

void UndoableTable::Finish()
{
    m_log.Clear();
    m_inTransaction = false;
    Undone();
    LetGo();
}

void UndoableTable::RollbackTo(int n)
{
    try {
        m_log.RollbackTo(n);
    } catch (...) {
        Undone();
        throw;
    }
    Undone();
}

void UndoableTable::RollBackAfter(const AdoError& cause)
{
    try {
        Rollback();
    } catch (const AdoError& e) {
        throw AdoError(cause.Number(), cause.Description() + QStringLiteral(" The changes made before it could not be undone: ")
                                           + e.Description());
    }
    throw cause;
}

} // namespace ado
