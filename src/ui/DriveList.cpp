#include "ui/DriveList.h"

#include "ado/AdoError.h"

#include <QDir>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>

namespace {
constexpr long DeviceUnavailable = 68;
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    ListVolumes();
    const int current = IndexOf(QDir::currentPath());
    setCurrentIndex(current >= 0 ? current : 0);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            emit driveChanged(Drive());
    });
}

void DriveList::ListVolumes()
{
    QList<QStorageInfo> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            volumes << volume;
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        if (a.isRoot() != b.isRoot())
            return a.isRoot();
        return a.rootPath() < b.rootPath();
    });
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QStorageInfo& volume : volumes) {
        const QString label = volume.name().isEmpty() ? volume.rootPath()
                                                      : volume.rootPath() + QStringLiteral(" [") + volume.name() + u']';
        addItem(icon, label, volume.rootPath());
    }
}

QString DriveList::Drive() const
{
    return currentData().toString();
}

int DriveList::IndexOf(const QString& path) const
{
    const QString volume = VolumeOf(path);
    return volume.isEmpty() ? -1 : findData(volume);
}

QString DriveList::VolumeOf(const QString& path) const
{
    // The listed mount point that is the longest leading part of the path.
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const bool holds = clean == root || root == u"/"
            || clean.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

void DriveList::SetDrive(const QString& path)
{
    const int index = IndexOf(path);
    if (index < 0)
        throw ado::AdoError(DeviceUnavailable, QStringLiteral("Device unavailable"));
    setCurrentIndex(index);
}

void DriveList::RestoreDrive(const QString& path)
{
    const QSignalBlocker blocker(this);
    const int index = IndexOf(path);
    if (index >= 0)
        setCurrentIndex(index);
}

QString DriveList::CurrentFolderOf(const QString& drive)
{
    const QString current = QDir::currentPath();
    if (QStorageInfo(current).rootPath() == drive)
        return current;
    return drive;
}
