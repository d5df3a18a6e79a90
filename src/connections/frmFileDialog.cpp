#include "connections/frmFileDialog.h"

#include "ado/AdoError.h"
#include "ui/DriveList.h"
#include "ui/FailureReport.h"
#include "ui/FileList.h"
#include "ui/FolderList.h"
#include "ui/Twips.h"

#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

using ui::Twips::Rect;
using ui::Twips::ToPixels;

frmFileDialog::frmFileDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFileDialog"));
    setWindowTitle(QStringLiteral("File Dialog"));
    setModal(true);
    setFixedSize(ToPixels(8655), ToPixels(3270));

    txtPath = new QLineEdit(this);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    txtPath->setGeometry(Rect(240, 120, 8175, 375));
    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(Rect(240, 600, 3735, 1665));
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(Rect(4080, 600, 4335, 1650));
    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(Rect(4200, 2280, 4215, 315));
    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(Rect(5880, 2760, 1215, 375));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Rect(7200, 2760, 1215, 375));
    // Neither button answers Enter.
    for (QPushButton* button : {cmdOk, cmdCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setTabOrder(cmdOk, cmdCancel);
    setTabOrder(cmdCancel, Dir1);
    setTabOrder(Dir1, Drive1);
    setTabOrder(Drive1, File1);
    setTabOrder(File1, txtPath);

    // The lists start on the program's current drive and folder, the path box empty.
    m_drive = Drive1->Drive();
    try {
        Dir1->RestorePath(QDir::currentPath());
        File1->SetPath(Dir1->Path());
    } catch (const ado::AdoError&) {
        // A current folder that cannot be listed leaves the lists empty.
    }

    connect(Drive1, &DriveList::driveChanged, this, &frmFileDialog::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmFileDialog::Dir1_Change);
    connect(Dir1, &FolderList::pathRequested, this, &frmFileDialog::Dir1_Request);
    connect(File1, &FileList::fileClicked, this, &frmFileDialog::File1_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmFileDialog::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFileDialog::cmdCancel_Click);

    Form_Load();
}

void frmFileDialog::Form_Load()
{
    const QScopedValueRollback<bool> loading(m_loading, true);
    // Whatever way this use ends other than "Ok", it chose nothing.
    FilePath.clear();
    if (!LastDrive.isEmpty()) {
        try {
            Drive1->SetDrive(LastDrive);
            // Already selected, the drive list has no change to announce.
            if (Drive1->Drive() == m_drive)
                Dir1->SetPath(DriveList::CurrentFolderOf(Drive1->Drive()));
        } catch (...) {
            Report(QStringLiteral("Drive1_Change"), std::current_exception());
        }
    }
    if (!LastFolder.isEmpty()) {
        try {
            Dir1->SetPath(LastFolder);
        } catch (...) {
            Report(QStringLiteral("Dir1_Change"), std::current_exception());
        }
    }
}

void frmFileDialog::Drive1_Change()
{
    const QString drive = Drive1->Drive();
    try {
        Dir1->SetPath(DriveList::CurrentFolderOf(drive));
        // The folder list refused the drive's folder and has reported it.
        if (Drive1->VolumeOf(Dir1->Path()) != drive) {
            Drive1->RestoreDrive(m_drive);
            return;
        }
        m_drive = drive;
        LastDrive = drive;
    } catch (...) {
        Drive1->RestoreDrive(m_drive);
        Report(QStringLiteral("Drive1_Change"), std::current_exception());
    }
}

void frmFileDialog::Dir1_Request(const QString& path)
{
    try {
        Dir1->SetPath(path);
    } catch (...) {
        Report(QStringLiteral("Dir1_Change"), std::current_exception());
    }
}

void frmFileDialog::Dir1_Change(const QString& path, const QString& previous)
{
    try {
        File1->SetPath(path);
        txtPath->setText(path);
        if (!m_loading)
            LastFolder = File1->Path();
    } catch (...) {
        Dir1->RestorePath(previous);
        Report(QStringLiteral("Dir1_Change"), std::current_exception());
    }
}

void frmFileDialog::File1_Click(const QString& name)
{
    try {
        txtPath->setText(QDir(File1->Path()).filePath(name));
    } catch (...) {
        Report(QStringLiteral("File1_Click"), std::current_exception());
    }
}

void frmFileDialog::cmdOk_Click()
{
    FilePath = txtPath->text();
    accept();
}

void frmFileDialog::cmdCancel_Click()
{
    FilePath.clear();
    reject();
}

void frmFileDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape is no shortcut for "Cancel" here; the close box is.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmFileDialog::Report(const QString& handler, std::exception_ptr failure)
{
    ui::FailureReport::Show(this, windowTitle(), handler, failure);
}
