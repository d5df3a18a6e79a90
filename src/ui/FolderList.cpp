#include "ui/FolderList.h"

#include "ado/AdoError.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>

namespace {

constexpr long PathFileAccessError = 75;
constexpr int PathRole = Qt::UserRole;

QString Checked(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists() || !info.isDir())
        throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found"));
    const QDir dir(info.absoluteFilePath());
    if (!dir.isReadable())
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error"));
    return QDir::cleanPath(dir.absolutePath());
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { emit pathRequested(item->data(PathRole).toString()); });
}

void FolderList::SetPath(const QString& folder)
{
    const QString path = Checked(folder);
    if (path == m_path)
        return;
    const QString previous = m_path;
    Fill(path);
    emit pathChanged(m_path, previous);
}

void FolderList::RestorePath(const QString& folder)
{
    try {
        Fill(Checked(folder));
    } catch (const ado::AdoError&) {
        // Gone meanwhile: the list keeps what it shows.
    }
}

void FolderList::Fill(const QString& folder)
{
    QStringList ancestors;
    for (QDir dir(folder);; ) {
        ancestors.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QString indent = QStringLiteral("  ");
    for (int level = 0; level < ancestors.size(); ++level) {
        const QString path = ancestors[level];
        const QString name = level == 0 ? path : QFileInfo(path).fileName();
        auto* item = new QListWidgetItem(open, indent.repeated(level) + name, this);
        item->setData(PathRole, path);
    }
    for (const QString& child : children) {
        auto* item = new QListWidgetItem(closed, indent.repeated(int(ancestors.size())) + child, this);
        item->setData(PathRole, QDir(folder).filePath(child));
    }
    m_path = folder;
    setCurrentRow(int(ancestors.size()) - 1);
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit pathRequested(currentItem()->data(PathRole).toString());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
