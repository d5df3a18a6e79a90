#include "ui/RecordsetModel.h"

#include <QBrush>
#include <QColor>

#include "ado/AdoType.h"
#include "ado/Recordset.h"

#include <QDateTime>
#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

namespace {

QString DoubleText(const QLocale& locale, double d)
{
    if (!std::isfinite(d))
        return QString::number(d);
    // Plain digits for the everyday range, an exponent only for very large or small values.
    const double a = std::fabs(d);
    const char format = (a != 0 && (a >= 1e15 || a < 1e-4)) ? 'g' : 'f';
    return locale.toString(d, format, QLocale::FloatingPointShortest);
}

const QString TimeFormat = QStringLiteral("HH:mm:ss");

const QString& DateFormat(const QLocale& locale)
{
    // Worked out once per locale: an export formats a million dates.
    static QLocale cachedLocale;
    static QString cachedFormat;
    if (cachedFormat.isEmpty() || !(locale == cachedLocale)) {
        // A two-digit year would lose the century in the grid and in the export.
        cachedFormat = locale.dateFormat(QLocale::ShortFormat);
        if (!cachedFormat.contains(QStringLiteral("yyyy")))
            cachedFormat.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
        cachedLocale = locale;
    }
    return cachedFormat;
}

QString ShortDate(const QLocale& locale, QDate date)
{
    return locale.toString(date, DateFormat(locale));
}

bool SameValue(const QVariant& before, const QVariant& after)
{
    const bool beforeNull = !before.isValid() || before.isNull();
    const bool afterNull = !after.isValid() || after.isNull();
    if (beforeNull || afterNull) {
        // Leaving a Null cell without typing commits an empty text: not a change.
        const bool afterEmpty = afterNull || (after.typeId() == QMetaType::QString && after.toString().isEmpty());
        return beforeNull && afterEmpty;
    }
    return before.metaType() == after.metaType() && before == after;
}

} // namespace

namespace {

constexpr int ShowFetchedRowsMs = 100;

} // namespace

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(ShowFetchedRowsMs);
    connect(&m_showTimer, &QTimer::timeout, this, &RecordsetModel::ShowFetchedRows);
}

void RecordsetModel::ShowFetchedRows()
{
    m_showTimer.stop();
    if (m_heldRows == 0)
        return;
    beginInsertRows(QModelIndex(), m_rsRows, m_rsRows + m_heldRows - 1);
    m_rsRows += m_heldRows;
    m_heldRows = 0;
    endInsertRows();
}

void RecordsetModel::SetRecordset(ado::Recordset* recordset)
{
    if (recordset == m_rs)
        return;
    beginResetModel();
    if (m_rs)
        disconnect(m_rs, nullptr, this, nullptr);
    m_rs = recordset;
    Connect();
    ReadShape();
    endResetModel();
}

void RecordsetModel::Connect()
{
    if (!m_rs)
        return;
    connect(m_rs, &ado::Recordset::modelAboutToBeReset, this, &RecordsetModel::OnAboutToReset);
    connect(m_rs, &ado::Recordset::modelReset, this, &RecordsetModel::OnReset);
    connect(m_rs, &ado::Recordset::rowsAboutToBeInserted, this, &RecordsetModel::OnRowsAboutToBeInserted);
    connect(m_rs, &ado::Recordset::rowsInserted, this, &RecordsetModel::OnRowsInserted);
    connect(m_rs, &ado::Recordset::rowsAboutToBeRemoved, this, &RecordsetModel::OnRowsAboutToBeRemoved);
    connect(m_rs, &ado::Recordset::rowsRemoved, this, &RecordsetModel::OnRowsRemoved);
    connect(m_rs, &ado::Recordset::rowChanged, this, &RecordsetModel::OnRowChanged);
    connect(m_rs, &QObject::destroyed, this, &RecordsetModel::OnRecordsetDestroyed);
}

void RecordsetModel::ReadShape()
{
    const bool open = m_rs && m_rs->IsOpen();
    m_rsRows = open ? m_rs->RecordCount() : 0;
    m_heldRows = 0;
    m_showTimer.stop();
    m_columns = open ? m_rs->FieldCount() : 0;
    QVector<ColumnSettings> settings(m_columns);
    QStringList names;
    for (int i = 0; i < m_columns; ++i) {
        const QString name = m_rs->Columns().at(i).name;
        names << name;
        // Settings survive a re-read of the same columns (a sort, a requery).
        if (i < m_settings.size() && m_settings[i].dataField == name)
            settings[i] = m_settings[i];
        else
            settings[i].dataField = name;
    }
    m_settings = settings;
    m_hasNewRowLine = WantsNewRowLine();
    // What was typed into the new-row line survives a re-read of the same columns (a sort,
    // a requery, a reload of the same query).
    if (names != m_columnNames || !m_hasNewRowLine)
        m_pending = QVector<std::optional<QVariant>>(m_columns);
    m_columnNames = names;
}

bool RecordsetModel::WantsNewRowLine() const
{
    return m_allowAddNew && m_rs && m_rs->IsOpen() && m_rs->IsUpdatable();
}

void RecordsetModel::UpdateNewRowLine()
{
    const bool wanted = WantsNewRowLine();
    if (wanted == m_hasNewRowLine || m_resetting)
        return;
    if (wanted) {
        beginInsertRows(QModelIndex(), m_rsRows, m_rsRows);
        m_hasNewRowLine = true;
        endInsertRows();
    } else {
        // The line is going: what was typed into it is written rather than lost.
        CommitNewRow();
        m_pending.fill(std::nullopt);
        beginRemoveRows(QModelIndex(), m_rsRows, m_rsRows);
        m_hasNewRowLine = false;
        endRemoveRows();
    }
}

void RecordsetModel::SetAllowUpdate(bool allow)
{
    m_allowUpdate = allow;
    if (m_rsRows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rsRows - 1, m_columns - 1));
}

void RecordsetModel::SetAllowAddNew(bool allow)
{
    m_allowAddNew = allow;
    UpdateNewRowLine();
}

QString RecordsetModel::DataField(int column) const
{
    return m_settings.value(column).dataField;
}

void RecordsetModel::SetDataField(int column, const QString& field)
{
    if (column >= 0 && column < m_settings.size())
        m_settings[column].dataField = field;
}

int RecordsetModel::ConvertEmptyCell(int column) const
{
    return m_settings.value(column).convertEmptyCell;
}

void RecordsetModel::SetConvertEmptyCell(int column, int mode)
{
    if (column >= 0 && column < m_settings.size())
        m_settings[column].convertEmptyCell = mode;
}

void RecordsetModel::OnAboutToReset()
{
    m_resetting = true;
    beginResetModel();
}

void RecordsetModel::OnReset()
{
    ReadShape();
    m_resetting = false;
    endResetModel();
}

void RecordsetModel::OnRowsAboutToBeInserted(int first, int last)
{
    m_holding = m_rs->MoreRowsFollow() && first == m_rsRows + m_heldRows;
    if (m_holding)
        return;
    ShowFetchedRows();
    beginInsertRows(QModelIndex(), first, last);
}

void RecordsetModel::OnRowsInserted(int first, int last)
{
    if (m_holding) {
        m_holding = false;
        m_heldRows += last - first + 1;
        if (!m_showTimer.isActive())
            m_showTimer.start();
        return;
    }
    m_rsRows += last - first + 1;
    endInsertRows();
}

void RecordsetModel::OnRowsAboutToBeRemoved(int first, int last)
{
    ShowFetchedRows();
    beginRemoveRows(QModelIndex(), first, last);
}

void RecordsetModel::OnRowsRemoved(int first, int last)
{
    m_rsRows -= last - first + 1;
    endRemoveRows();
}

void RecordsetModel::OnRowChanged(int position)
{
    if (position >= m_rsRows)
        ShowFetchedRows();
    if (position >= 0 && position < m_rsRows && m_columns > 0)
        emit dataChanged(index(position, 0), index(position, m_columns - 1));
}

void RecordsetModel::OnRecordsetDestroyed()
{
    beginResetModel();
    m_rs = nullptr;
    ReadShape();
    m_resetting = false;
    endResetModel();
}

bool RecordsetModel::IsCell(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < rowCount() && index.column() < m_columns;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rsRows + (m_hasNewRowLine ? 1 : 0);
}

int RecordsetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

int RecordsetModel::FieldType(int column) const
{
    return m_rs && m_rs->IsOpen() ? m_rs->Columns().at(column).type : int(ado::AdoType::VarWChar);
}

bool RecordsetModel::IsWritableColumn(int column) const
{
    if (!m_rs || !m_rs->IsOpen())
        return false;
    const ado::ColumnInfo& info = m_rs->Columns().at(column);
    return !ado::AdoType::IsBinary(info.type) && !info.baseColumn.isEmpty();
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const
{
    if (!IsCell(index) || !m_rs)
        return {};
    const int type = FieldType(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(ado::AdoType::IsNumeric(type) ? Qt::AlignRight | Qt::AlignVCenter
                                                                  : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::CheckStateRole && role != Qt::ToolTipRole
        && role != Qt::BackgroundRole)
        return {};
    const bool boolean = type == ado::AdoType::Boolean;
    if (IsNewRowLine(index.row())) {
        const std::optional<QVariant>& typed = m_pending.value(index.column());
        if (role == Qt::CheckStateRole)
            return boolean ? QVariant(typed && typed->toBool() ? Qt::Checked : Qt::Unchecked) : QVariant();
        if (!typed || role == Qt::ToolTipRole || role == Qt::BackgroundRole)
            return {};
        if (boolean && role == Qt::DisplayRole)
            return {};
        return role == Qt::EditRole ? *typed : QVariant(RegionalText(*typed, type));
    }
    const QVariant value = m_rs->ValueAt(index.row(), index.column());
    const bool null = !value.isValid() || value.isNull();
    // Only the grid's picture of a value changes here; edits, export and storage keep
    // the value and its regional text as they are.
    if (role == Qt::BackgroundRole)
        return null ? QVariant(QBrush(QColor(0xe8, 0xe8, 0xe8))) : QVariant();
    if (role == Qt::CheckStateRole)
        return boolean && !null ? QVariant(value.toBool() ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (ado::AdoType::IsBinary(type)) {
        if (role != Qt::DisplayRole || null)
            return {};
        return BinaryText(value.toByteArray().size());
    }
    if (role == Qt::EditRole)
        return value;
    if (boolean)
        return {};
    const QString text = RegionalText(value, type);
    if (role == Qt::ToolTipRole)
        return text.size() > LongText || text.contains(u'\n') ? QVariant(text) : QVariant();
    return text;
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns ? QVariant(m_rs->Columns().at(section).name) : QVariant();
    if (section < 0 || section >= rowCount())
        return {};
    return IsNewRowLine(section) ? QVariant(QStringLiteral("*")) : QVariant(section + 1);
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const
{
    if (!IsCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const bool allowed = IsNewRowLine(index.row()) ? m_allowAddNew : m_allowUpdate;
    if (allowed && m_rs->IsUpdatable() && IsWritableColumn(index.column())) {
        f |= Qt::ItemIsEditable;
        // A check box toggles on a click and writes through as an edit.
        if (FieldType(index.column()) == ado::AdoType::Boolean)
            f |= Qt::ItemIsUserCheckable;
    }
    return f;
}

QString RecordsetModel::BinaryText(qsizetype bytes)
{
    // French counts 0 and 1 in the singular.
    const QString number = QLocale(QLocale::French, QLocale::France).toString(qint64(bytes));
    return bytes <= 1 ? tr("(binaire, %1 octet)").arg(number) : tr("(binaire, %1 octets)").arg(number);
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role == Qt::CheckStateRole && IsCell(index) && (flags(index) & Qt::ItemIsUserCheckable))
        return setData(index, QVariant(value.toInt() == Qt::Checked), Qt::EditRole);
    if (role != Qt::EditRole || !IsCell(index)
        || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const QVariant v = TypedValue(index.column(), value);
    if (IsNewRowLine(index.row()))
        return SetPendingValue(index, v);
    if (SameValue(m_rs->ValueAt(index.row(), index.column()), ComparableValue(index.column(), v)))
        return true;
    try {
        WriteCell(index.row(), index.column(), v);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        CancelEdit();
        emit writeFailed(failure);
        return false;
    }
    return true;
}

QVariant RecordsetModel::TypedValue(int column, const QVariant& value) const
{
    if (value.typeId() != QMetaType::QString)
        return value;
    const QString text = value.toString();
    if (text.isEmpty()) {
        // The data layer takes a null string for a Null; an empty cell is one or the other.
        return ConvertEmptyCell(column) == EmptyToNull ? QVariant() : QVariant(QStringLiteral(""));
    }
    return FromRegionalText(text, FieldType(column));
}

QVariant RecordsetModel::ComparableValue(int column, const QVariant& value) const
{
    // Typed text is compared as the value the column would store: leaving "1.5" in a cell
    // holding 1.5 is no change.
    try {
        return ado::AdoType::Coerce(value, FieldType(column));
    } catch (...) {
        return value;
    }
}

void RecordsetModel::WriteCell(int row, int column, const QVariant& value)
{
    m_rs->SetAbsolutePosition(row + 1);
    m_rs->Fields(column).SetValue(value);
    m_rs->Update();
}

void RecordsetModel::CancelEdit()
{
    try {
        if (m_rs && m_rs->IsOpen() && m_rs->EditMode() != ado::Recordset::adEditNone)
            m_rs->CancelUpdate();
    } catch (...) {
        // The first failure is the one worth reporting.
    }
}

bool RecordsetModel::SetPendingValue(const QModelIndex& index, const QVariant& value)
{
    std::optional<QVariant>& typed = m_pending[index.column()];
    if (SameValue(typed.value_or(QVariant()), value))
        return true;
    try {
        // Refused here, a value is reported while the user is still on its cell.
        typed = ado::AdoType::Coerce(value, FieldType(index.column()));
    } catch (...) {
        emit writeFailed(std::current_exception());
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

bool RecordsetModel::HasPendingRow() const
{
    return m_hasNewRowLine && m_rs
        && std::any_of(m_pending.cbegin(), m_pending.cend(), [](const std::optional<QVariant>& v) { return v.has_value(); });
}

bool RecordsetModel::CommitNewRow()
{
    if (m_committing || !HasPendingRow())
        return true;
    const QScopedValueRollback<bool> committing(m_committing, true);
    try {
        m_rs->AddNew();
        for (int column = 0; column < m_pending.size(); ++column)
            if (m_pending[column])
                m_rs->Fields(column).SetValue(*m_pending[column]);
        m_rs->Update();
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        CancelEdit();
        emit writeFailed(failure);
        return false;
    }
    m_pending.fill(std::nullopt);
    EmitNewRowLineChanged();
    return true;
}

void RecordsetModel::AbandonNewRow()
{
    if (!HasPendingRow())
        return;
    m_pending.fill(std::nullopt);
    EmitNewRowLineChanged();
}

void RecordsetModel::EmitNewRowLineChanged()
{
    if (m_hasNewRowLine && m_columns > 0)
        emit dataChanged(index(m_rsRows, 0), index(m_rsRows, m_columns - 1));
}

bool RecordsetModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || !m_rs || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    try {
        for (int r = row + count - 1; r >= row; --r) {
            if (IsNewRowLine(r)) {
                AbandonNewRow();
                continue;
            }
            m_rs->SetAbsolutePosition(r + 1);
            m_rs->Delete();
        }
    } catch (...) {
        emit writeFailed(std::current_exception());
        return false;
    }
    return true;
}

QString RecordsetModel::RegionalText(const QVariant& value, int adoType, const QLocale& locale)
{
    if (!value.isValid() || value.isNull())
        return {};
    QLocale loc = locale;
    if (!(loc.numberOptions() & QLocale::OmitGroupSeparator))
        loc.setNumberOptions(loc.numberOptions() | QLocale::OmitGroupSeparator);
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return DoubleText(loc, value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        return loc.toString(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return loc.toString(value.toULongLong());
    case QMetaType::QDate:
        return ShortDate(loc, value.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        const QString date = ShortDate(loc, dt.date());
        return dt.time() == QTime(0, 0) ? date : date + u' ' + dt.time().toString(TimeFormat);
    }
    case QMetaType::QTime:
        return value.toTime().toString(TimeFormat);
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex().toUpper());
    case QMetaType::QString:
        // Exact decimals may arrive as text; only their separators are regional.
        if (ado::AdoType::IsNumeric(adoType)) {
            QString text = value.toString();
            text.replace(u'.', loc.decimalPoint());
            text.replace(u'-', loc.negativeSign());
            return text;
        }
        return value.toString();
    default:
        return value.toString();
    }
}

QVariant RecordsetModel::FromRegionalText(const QString& text, int adoType, const QLocale& locale)
{
    if (!ado::AdoType::IsDateTime(adoType))
        return text;
    const QString trimmed = text.trimmed();
    const QString dateFormat = DateFormat(locale);
    const QDateTime dateTime = locale.toDateTime(trimmed, dateFormat + u' ' + TimeFormat);
    if (dateTime.isValid())
        return dateTime;
    const QDate date = locale.toDate(trimmed, dateFormat);
    if (date.isValid())
        return date;
    const QTime time = QTime::fromString(trimmed, TimeFormat);
    if (time.isValid())
        return time;
    return text;
}
