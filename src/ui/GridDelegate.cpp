#include "ui/GridDelegate.h"

#include <QLineEdit>

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // The edit value of a date converts to ISO text, a decimal to a point whatever the
    // region: neither is what the user sees in the cell.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(index.data(Qt::DisplayRole).toString());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}
