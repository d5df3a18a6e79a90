#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

// Asks which table of a file that holds several (a database, a workbook) an import reads.
class diaSourceTable : public QDialog {
    Q_OBJECT
public:
    // Lists the tables in the given order and selects `preselected`.
    diaSourceTable(const QStringList& tables, int preselected, QWidget* parent = nullptr);

    bool OK() const { return m_ok; }
    // The selected table; empty when none is.
    QString TableName() const;

    // The table to offer first for a target table: the one of the same name (letter case
    // aside, a sheet's "$" too), else the first; -1 when there is none.
    static int Preselect(const QStringList& tables, const QString& targetTable);

public slots:
    void reject() override;

private:
    void cmdOK_Click();

    bool m_ok = false;
    QListWidget* Lis = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};
