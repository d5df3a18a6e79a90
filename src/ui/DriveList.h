#pragma once

#include <QComboBox>

// The drive list of the file dialog: the mounted volumes, the root first, each shown by
// its mount point and, when it has one, its label in brackets.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // The mount point of the selected volume.
    QString Drive() const;
    // Selects the volume that holds path (a mount point or any path on it); 68 "Device
    // unavailable" when no listed volume holds it. Selecting another volume emits
    // driveChanged, as a choice of the user does.
    void SetDrive(const QString& path);
    // Selects without emitting driveChanged.
    void RestoreDrive(const QString& path);
    // The mount point of the volume that holds path, empty when none is listed.
    QString VolumeOf(const QString& path) const;

    // The drive's current folder: the program's current folder when it lies on that volume,
    // else the volume's mount point.
    static QString CurrentFolderOf(const QString& drive);

signals:
    void driveChanged(const QString& drive);

private:
    void ListVolumes();
    int IndexOf(const QString& path) const;
};
