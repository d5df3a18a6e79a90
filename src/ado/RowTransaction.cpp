#include "ado/RowTransaction.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"

namespace ado {

namespace {
const QString Name = QStringLiteral("dabrix_row");
}

RowTransaction::RowTransaction(Backend& backend) : m_backend(backend)
{
    try {
        m_backend.BeginTransaction();
        m_open = true;
    } catch (const AdoError&) {
        // No transactions here (or one is already open): every row is stored as it comes.
        return;
    }
    try {
        m_savepoint = m_backend.Prepare(QStringLiteral("SAVEPOINT ") + Name);
        m_release = m_backend.Prepare(QStringLiteral("RELEASE SAVEPOINT ") + Name);
        m_rollbackTo = m_backend.Prepare(QStringLiteral("ROLLBACK TO SAVEPOINT ") + Name);
    } catch (const AdoError&) {
        m_savepoint.reset();
        m_release.reset();
        m_rollbackTo.reset();
    }
}

RowTransaction::~RowTransaction()
{
    if (!m_open)
        return;
    try {
        m_backend.Rollback();
    } catch (...) {
        // Nothing more can be undone from a destructor.
    }
}

void RowTransaction::BeginRow()
{
    if (m_savepoint) {
        try {
            m_savepoint->Execute({});
            m_savepointWorked = true;
        } catch (const AdoError&) {
            // Compiled but refused at the first run: the backend has no savepoints after all.
            if (m_savepointWorked)
                throw;
            m_savepoint.reset();
            m_release.reset();
            m_rollbackTo.reset();
        }
    }
    m_inRow = true;
}

void RowTransaction::EndRow()
{
    if (m_savepoint && m_inRow)
        m_release->Execute({});
    m_inRow = false;
}

void RowTransaction::UndoRow()
{
    if (m_savepoint && m_inRow) {
        m_rollbackTo->Execute({});
        m_release->Execute({});
    }
    m_inRow = false;
}

void RowTransaction::Commit()
{
    if (!m_open)
        return;
    m_backend.Commit();
    m_open = false;
}

} // namespace ado
