#include "import/diaSourceTable.h"

#include "ui/Twips.h"

#include <QListWidget>
#include <QPushButton>

using ui::Twips::Rect;

diaSourceTable::diaSourceTable(const QStringList& tables, int preselected, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("diaSourceTable"));
    setWindowTitle(QStringLiteral("Table à importer"));
    setFixedSize(ui::Twips::ToPixels(4650), ui::Twips::ToPixels(3480));

    Lis = new QListWidget(this);
    Lis->setObjectName(QStringLiteral("Lis"));
    Lis->setGeometry(Rect(120, 120, 4410, 2640));
    Lis->addItems(tables);
    if (preselected >= 0 && preselected < Lis->count())
        Lis->setCurrentRow(preselected);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Rect(2160, 2940, 1095, 375));
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Annuler"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Rect(3435, 2940, 1095, 375));

    connect(cmdOK, &QPushButton::clicked, this, &diaSourceTable::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &diaSourceTable::reject);
    connect(Lis, &QListWidget::itemDoubleClicked, this, &diaSourceTable::cmdOK_Click);
}

QString diaSourceTable::TableName() const
{
    const QListWidgetItem* item = Lis->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

int diaSourceTable::Preselect(const QStringList& tables, const QString& targetTable)
{
    const auto bare = [](QString name) {
        if (name.endsWith(u'$'))
            name.chop(1);
        return name;
    };
    for (int i = 0; i < tables.size(); ++i)
        if (tables[i].compare(targetTable, Qt::CaseInsensitive) == 0)
            return i;
    for (int i = 0; i < tables.size(); ++i)
        if (bare(tables[i]).compare(bare(targetTable), Qt::CaseInsensitive) == 0)
            return i;
    return tables.isEmpty() ? -1 : 0;
}

void diaSourceTable::cmdOK_Click()
{
    // Nothing chosen is no answer: the list stays up.
    if (TableName().isEmpty())
        return;
    m_ok = true;
    accept();
}

void diaSourceTable::reject()
{
    m_ok = false;
    QDialog::reject();
}
