#pragma once

#include <memory>

namespace ado {

class Backend;
class PreparedStatement;

// Stores rows one by one inside a single transaction, each under a savepoint of its own,
// so that a failed row is undone alone and the rows before it can still be committed,
// at the cost of one commit instead of one per row. A backend without transactions
// stores each row for good as it comes; one without savepoints relies on each statement
// undoing itself when it fails.
class RowTransaction {
public:
    // Begins the transaction when the backend has them.
    explicit RowTransaction(Backend& backend);
    // Rolls back what was not committed.
    ~RowTransaction();
    RowTransaction(const RowTransaction&) = delete;
    RowTransaction& operator=(const RowTransaction&) = delete;

    void BeginRow();
    // The row's changes join the transaction.
    void EndRow();
    // Undoes what the row had changed, when it failed; the rows before it stay.
    void UndoRow();
    // Makes every ended row permanent.
    void Commit();

    bool InTransaction() const { return m_open; }
    bool UsesSavepoints() const { return m_savepoint != nullptr; }

private:
    Backend& m_backend;
    bool m_open = false;
    bool m_inRow = false;
    bool m_savepointWorked = false;
    std::unique_ptr<PreparedStatement> m_savepoint;
    std::unique_ptr<PreparedStatement> m_release;
    std::unique_ptr<PreparedStatement> m_rollbackTo;
};

} // namespace ado
