#pragma once

#include "ado/Recordset.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <exception>
#include <optional>

// The rows of a recordset as a table for the data grid. Edits and deletions are written
// through the recordset at once; the cells typed into the new-row line are kept until
// CommitNewRow writes them as one record. The recordset's notifications keep the model's
// row count in step.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What an empty cell becomes when written.
    enum EmptyCell { KeepEmpty = 0, EmptyToNull = 1 };

    explicit RecordsetModel(QObject* parent = nullptr);

    // Not owned; nullptr unbinds.
    void SetRecordset(ado::Recordset* recordset);
    ado::Recordset* Recordset() const { return m_rs; }

    bool AllowUpdate() const { return m_allowUpdate; }
    void SetAllowUpdate(bool allow);
    // Shows an empty row at the bottom; typing into it adds a record.
    bool AllowAddNew() const { return m_allowAddNew; }
    void SetAllowAddNew(bool allow);

    QString DataField(int column) const;
    void SetDataField(int column, const QString& field);
    int ConvertEmptyCell(int column) const;
    void SetConvertEmptyCell(int column, int mode);

    // Rows of the recordset itself, without the new-row line.
    int RecordRows() const { return m_rsRows; }
    // Shows now the fetched rows held back since the last showing.
    void ShowFetchedRows();
    bool IsNewRowLine(int row) const { return m_hasNewRowLine && row == m_rsRows; }
    int NewRowLine() const { return m_hasNewRowLine ? m_rsRows : -1; }

    // Values typed into the new-row line and not yet written.
    bool HasPendingRow() const;
    // Adds the pending row as one record; false (and writeFailed) when the recordset refuses
    // it, the typed values then stay pending. True when nothing is pending.
    bool CommitNewRow();
    // Forgets the pending row's values.
    void AbandonNewRow();

    // A value's text in the user's regional form (numbers and dates), as the grid shows it
    // and the export writes it; Null gives an empty text, bytes their hexadecimal digits.
    static QString RegionalText(const QVariant& value, int adoType, const QLocale& locale = QLocale());
    // What a binary cell shows: its size, "(binaire, 3 616 octets)".
    static QString BinaryText(qsizetype bytes);
    // Texts longer than this also show whole in the cell's tooltip.
    static constexpr qsizetype LongText = 40;
    // The reverse for dates and times: text in the form RegionalText gives becomes the date,
    // time or date-time it shows; any other text is returned unchanged.
    static QVariant FromRegionalText(const QString& text, int adoType, const QLocale& locale = QLocale());

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

signals:
    // A value or a write the recordset refused; the edit has been cancelled.
    void writeFailed(std::exception_ptr failure);

private:
    struct ColumnSettings {
        QString dataField;
        int convertEmptyCell = KeepEmpty;
    };

    void Connect();
    void OnAboutToReset();
    void OnReset();
    void OnRowsAboutToBeInserted(int first, int last);
    void OnRowsInserted(int first, int last);
    void OnRowsAboutToBeRemoved(int first, int last);
    void OnRowsRemoved(int first, int last);
    void OnRowChanged(int position);
    void OnRecordsetDestroyed();
    void ReadShape();
    void UpdateNewRowLine();
    bool WantsNewRowLine() const;
    bool IsCell(const QModelIndex& index) const;
    int FieldType(int column) const;
    bool IsWritableColumn(int column) const;
    QVariant TypedValue(int column, const QVariant& value) const;
    QVariant ComparableValue(int column, const QVariant& value) const;
    void WriteCell(int row, int column, const QVariant& value);
    void CancelEdit();
    bool SetPendingValue(const QModelIndex& index, const QVariant& value);
    void EmitNewRowLineChanged();

    QPointer<ado::Recordset> m_rs;
    int m_rsRows = 0;
    int m_columns = 0;
    bool m_hasNewRowLine = false;
    bool m_allowUpdate = true;
    bool m_allowAddNew = true;
    bool m_resetting = false;
    QVector<ColumnSettings> m_settings;
    QStringList m_columnNames;
    // One entry per column; empty where the user typed nothing.
    QVector<std::optional<QVariant>> m_pending;
    bool m_committing = false;
    // Rows of a background fetch the recordset has and the view is not yet told of: each
    // announcement lays out and repaints the whole grid, so chunks are shown together.
    int m_heldRows = 0;
    bool m_holding = false;
    QTimer m_showTimer;
};
