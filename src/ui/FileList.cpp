#include "ui/FileList.h"

#include "ado/AdoError.h"

#include <QDir>
#include <QScopedValueRollback>
#include <QStyle>

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && !m_filling)
            emit fileClicked(item->text());
    });
    // A click on the file already chosen chooses it again.
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item == currentItem() && !m_filling)
            emit fileClicked(item->text());
    });
}

void FileList::SetPath(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists() || !info.isDir())
        throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found"));
    const QDir dir(info.absoluteFilePath());
    const QStringList files = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    const QScopedValueRollback<bool> filling(m_filling, true);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const QString& name : files)
        new QListWidgetItem(icon, name, this);
    setCurrentRow(-1);
    m_path = QDir::cleanPath(dir.absolutePath());
}

QString FileList::FileName() const
{
    return currentItem() ? currentItem()->text() : QString();
}
