#pragma once

#include <QStyledItemDelegate>

// Edits every typed value of the data grid as text, starting from the text the cell shows:
// the model reads that form back, so opening a cell and leaving it changes nothing.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
};
