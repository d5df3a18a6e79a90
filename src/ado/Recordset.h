#pragma once

#include "ado/AdoError.h"
#include "ado/Field.h"
#include "ado/RecordStore.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

namespace ado {

class Backend;
class Connection;
class RowCursor;

// A client-side static cursor: all rows are held in memory, fetched at once or in the
// background through the event loop, sorted, navigated and edited, with every edit
// written to the base table of the source.
class Recordset : public QObject {
    Q_OBJECT
public:
    enum CursorLocation { adUseServer = 2, adUseClient = 3 };
    enum CursorType { adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
    enum LockType { adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3, adLockBatchOptimistic = 4 };
    enum Options { adAsyncExecute = 0x10, adAsyncFetch = 0x20, adAsyncFetchNonBlocking = 0x40 };
    enum EditMode { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2 };
    enum Position { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
    enum EventStatus { adStatusOK = 1, adStatusErrorsOccurred = 2 };

    explicit Recordset(QObject* parent = nullptr);
    ~Recordset() override;

    int CursorLocation() const { return m_cursorLocation; }
    void SetCursorLocation(int location);
    // The dynamic properties "Update Criteria" and "Update Resync"; 3265 for others.
    QVariant Properties(const QString& name) const;
    void SetProperty(const QString& name, const QVariant& value);

    void Open(const QString& source, Connection* activeConnection, int cursorType = adOpenUnspecified,
              int lockType = adLockUnspecified, long options = -1);
    void Requery();
    void Close();
    bool IsOpen() const { return m_open; }
    bool IsFetching() const { return m_cursor != nullptr; }
    // True while rowsInserted announces rows of a background fetch that has more to come,
    // so that a view may take them in later, a few chunks at a time.
    bool MoreRowsFollow() const { return m_moreRowsFollow; }
    // Reads the rest of a background fetch now.
    void FinishFetch();
    QString Source() const { return m_source; }
    int LockType() const { return m_lockType; }

    int RecordCount() const;
    bool Eof() const;
    bool Bof() const;
    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    int AbsolutePosition() const;
    void SetAbsolutePosition(int position);

    QString Sort() const { return m_sort; }
    void SetSort(const QString& sort);

    int FieldCount() const { return m_open ? int(m_store->columns.size()) : 0; }
    Field Fields(int index)
    {
        CheckOpen();
        if (index < 0 || index >= m_store->columns.size()) [[unlikely]]
            FailNoField(index);
        return Field(this, index);
    }
    Field Fields(const QString& name);
    const QVector<ColumnInfo>& Columns() const;

    int EditMode() const { return m_editMode; }
    void AddNew();
    void Update();
    void CancelUpdate();
    void Delete();

    // A second cursor over the same rows, in the same order, positioned on the first row.
    std::unique_ptr<Recordset> Clone();

    // Direct access by 0-based position in the current order, for item models.
    QVariant ValueAt(int position, int column) const;
    // The values of count rows from a position on, column after column: count values of the
    // first field, then of the second... Rows in a sorted order are read in the order they
    // are stored, which is much faster.
    void ValuesAt(int firstPosition, int count, QVariant* out) const;
    bool IsNewAt(int position) const;
    // Direct access used by Field.
    QVariant CurrentValue(int column) const
    {
        CheckCurrent();
        if (column < 0 || column >= m_store->columns.size()) [[unlikely]]
            return {};
        if (m_editMode != adEditNone) [[unlikely]]
            return m_editValues.value(column);
        return m_store->rows.Value(RowAt(m_pos), column);
    }
    void SetCurrentValue(int column, const QVariant& value, bool append = false);
    bool IsUpdatable() const;

signals:
    void FetchComplete(const QString& error, int adStatus, ado::Recordset* pRecordset);
    void modelAboutToBeReset();
    void modelReset();
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    void rowChanged(int position);

private:
    friend class Field;
    friend class RowAppender; // writes new rows to the base table without holding them
    // Asked for every value read: the checks stay inline, the failures do not.
    void CheckOpen() const
    {
        if (!m_open) [[unlikely]]
            FailClosed();
    }
    void CheckCurrent() const
    {
        CheckOpen();
        if (m_pos < 0 || m_pos >= int(m_order.size())) [[unlikely]]
            FailNoCurrent();
    }
    [[noreturn]] static void FailClosed();
    [[noreturn]] static void FailNoCurrent();
    [[noreturn]] static void FailNoField(int index);
    int ColumnIndex(const QString& name) const;
    void Load(bool asynchronous);
    std::shared_ptr<Backend> Session() const;
    bool FetchSome(int maxRows, int budgetMs);
    void OnFetchTimer();
    void EndFetch(const QString& error);
    void BeginEdit();
    void LeaveRow(); // implicit Update when moving off an edited row
    void Detach();
    int RowAt(int position) const { return m_order[size_t(position)]; }

    // Notifications from the shared store.
    void StoreRowsAppended(int firstRow, int count, bool moreFollow = false);
    void StoreRowRemoved(int row);
    void StoreRowChanged(int row);

    int m_cursorLocation = adUseServer;
    QHash<QString, QVariant> m_properties;
    QString m_source;
    // Edits need the session; a closed connection must give an error, not a crash.
    std::weak_ptr<Backend> m_session;
    std::shared_ptr<Backend> m_fetchSession; // kept alive while rows are still coming
    bool m_async = false;
    std::optional<AdoError> m_fetchFailure; // why the last fetch stopped early
    bool m_silent = false;
    bool m_moreRowsFollow = false;
    int m_fetchSlices = 0;
    QElapsedTimer m_sliceEnded;
    int m_posBeforeAdd = -1;
    int m_cursorType = adOpenUnspecified;
    int m_lockType = adLockUnspecified;
    long m_options = -1;
    bool m_open = false;

    std::shared_ptr<RecordStore> m_store;
    std::vector<int> m_order;
    int m_pos = -1; // index in m_order; -1 before the first, size() after the last
    QString m_sort;

    std::unique_ptr<RowCursor> m_cursor;
    QTimer m_fetchTimer;

    int m_editMode = adEditNone;
    QVector<QVariant> m_editValues;
    QVector<bool> m_editChanged;
    QVector<bool> m_chunkStarted;
};

} // namespace ado
