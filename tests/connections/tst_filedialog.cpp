#include "support/FileBytes.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include "connections/frmFileDialog.h"
#include "ui/DriveList.h"
#include "ui/FailureReport.h"
#include "ui/FileList.h"
#include "ui/FolderList.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>

using testsupport::ModalAnswerer;

class TestFileDialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_startFolder;

    QString folder(const QString& relative) const { return m_root.filePath(relative); }

    template <typename T>
    static T* child(QWidget* dialog, const char* name)
    {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }

    static QListWidgetItem* item(QListWidget* list, const QString& text)
    {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().trimmed() == text)
                return list->item(i);
        return nullptr;
    }

    static void doubleClick(QListWidget* list, QListWidgetItem* target)
    {
        QVERIFY(target);
        list->scrollToItem(target);
        const QPoint at = list->visualItemRect(target).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    static void click(QListWidget* list, QListWidgetItem* target)
    {
        QVERIFY(target);
        list->scrollToItem(target);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(target).center());
    }

    std::unique_ptr<frmFileDialog> show()
    {
        auto dialog = std::make_unique<frmFileDialog>();
        dialog->show();
        (void)QTest::qWaitForWindowExposed(dialog.get());
        return dialog;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        for (const char* path : {"work", "work/pictures", "work/pictures/old", "work/notes"})
            QVERIFY(QDir().mkpath(folder(QString::fromLatin1(path))));
        testsupport::WriteBytes(folder(QStringLiteral("work/a.png")), "a");
        testsupport::WriteBytes(folder(QStringLiteral("work/b.txt")), "b");
        testsupport::WriteBytes(folder(QStringLiteral("work/pictures/logo.png")), "c");
        testsupport::WriteBytes(folder(QStringLiteral("work/.hidden")), "d");
        m_startFolder = folder(QStringLiteral("work"));
        QVERIFY(QDir::setCurrent(m_startFolder));
    }

    void init()
    {
        frmFileDialog::FilePath.clear();
        frmFileDialog::LastDrive.clear();
        frmFileDialog::LastFolder.clear();
    }

    void firstUse();
    void tabOrderAndKeys();
    void foldersAndFilesFillThePath();
    void secondUseReopensWhereTheUserWas();
    void answers_data();
    void answers();
    void failedFolderChangeKeepsTheLists();
};

void TestFileDialog::firstUse()
{
    auto dialog = show();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("File Dialog"));
    QCOMPARE(child<FolderList>(dialog.get(), "Dir1")->Path(), m_startFolder);
    QVERIFY(child<QLineEdit>(dialog.get(), "txtPath")->text().isEmpty());
    // Every file but the hidden ones; the way down from the root, then the subfolders.
    auto* files = child<FileList>(dialog.get(), "File1");
    QCOMPARE(files->Path(), m_startFolder);
    QCOMPARE(files->count(), 2);
    QCOMPARE(files->item(0)->text(), QStringLiteral("a.png"));
    auto* folders = child<FolderList>(dialog.get(), "Dir1");
    QCOMPARE(folders->item(0)->text(), QStringLiteral("/"));
    QVERIFY(item(folders, QStringLiteral("pictures")) && item(folders, QStringLiteral("notes")));
    QVERIFY(!item(folders, QStringLiteral("old")));

    // The drives are the mounted volumes, the root first, on the current one.
    auto* drives = child<DriveList>(dialog.get(), "Drive1");
    QSet<QString> listed;
    for (int i = 0; i < drives->count(); ++i)
        listed << drives->itemData(i).toString();
    QSet<QString> mounted;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            mounted << volume.rootPath();
    QCOMPARE(drives->itemData(0).toString(), QStringLiteral("/"));
    QCOMPARE(listed, mounted);
    QCOMPARE(drives->Drive(), QStorageInfo(m_startFolder).rootPath());
}

void TestFileDialog::tabOrderAndKeys()
{
    auto dialog = show();
    QWidget* ok = child<QPushButton>(dialog.get(), "cmdOk");
    const QStringList names{QStringLiteral("cmdOk"), QStringLiteral("cmdCancel"), QStringLiteral("Dir1"),
                            QStringLiteral("Drive1"), QStringLiteral("File1"), QStringLiteral("txtPath")};
    QStringList order;
    for (QWidget* w = ok; order.size() < names.size(); w = w->nextInFocusChain())
        if (names.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
    QCOMPARE(order, names);

    // Neither Enter nor Escape answers the dialog.
    auto* path = child<QLineEdit>(dialog.get(), "txtPath");
    path->setFocus();
    QTest::keyClick(path, Qt::Key_Return);
    QTest::keyClick(path, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
}

void TestFileDialog::foldersAndFilesFillThePath()
{
    auto dialog = show();
    auto* folders = child<FolderList>(dialog.get(), "Dir1");
    auto* files = child<FileList>(dialog.get(), "File1");
    auto* path = child<QLineEdit>(dialog.get(), "txtPath");

    doubleClick(folders, item(folders, QStringLiteral("pictures")));
    const QString pictures = folder(QStringLiteral("work/pictures"));
    QCOMPARE(folders->Path(), pictures);
    QCOMPARE(path->text(), pictures);
    QCOMPARE(files->Path(), pictures);
    QCOMPARE(frmFileDialog::LastFolder, pictures);
    QVERIFY(item(folders, QStringLiteral("old")));

    click(files, item(files, QStringLiteral("logo.png")));
    QCOMPARE(path->text(), pictures + QStringLiteral("/logo.png"));
    // Another folder replaces the chosen file by the folder.
    doubleClick(folders, item(folders, QStringLiteral("work")));
    QCOMPARE(path->text(), m_startFolder);
    QCOMPARE(frmFileDialog::LastFolder, m_startFolder);
    QCOMPARE(files->count(), 2);
    // Enter on a folder opens it as well.
    folders->setCurrentItem(item(folders, QStringLiteral("notes")));
    QTest::keyClick(folders, Qt::Key_Return);
    QCOMPARE(path->text(), folder(QStringLiteral("work/notes")));
    QCOMPARE(files->count(), 0);
}

void TestFileDialog::secondUseReopensWhereTheUserWas()
{
    {
        auto first = show();
        auto* folders = child<FolderList>(first.get(), "Dir1");
        doubleClick(folders, item(folders, QStringLiteral("pictures")));
        doubleClick(folders, item(folders, QStringLiteral("old")));
        child<QPushButton>(first.get(), "cmdCancel")->click();
    }
    const QString old = folder(QStringLiteral("work/pictures/old"));
    QCOMPARE(frmFileDialog::LastFolder, old);
    frmFileDialog::LastDrive = QStorageInfo(old).rootPath();

    auto second = show();
    QCOMPARE(child<DriveList>(second.get(), "Drive1")->Drive(), frmFileDialog::LastDrive);
    QCOMPARE(child<FolderList>(second.get(), "Dir1")->Path(), old);
    QCOMPARE(child<FileList>(second.get(), "File1")->Path(), old);
    QCOMPARE(child<QLineEdit>(second.get(), "txtPath")->text(), old);
    // Loading is not the user's choice of a folder.
    QCOMPARE(frmFileDialog::LastFolder, old);

    // With only the drive known, the lists open on that drive's current folder, which they
    // already show: nothing changes, so the path box stays empty.
    frmFileDialog::LastFolder.clear();
    auto third = show();
    QCOMPARE(child<FolderList>(third.get(), "Dir1")->Path(), m_startFolder);
    QVERIFY(child<QLineEdit>(third.get(), "txtPath")->text().isEmpty());
    QVERIFY(frmFileDialog::LastFolder.isEmpty());
}

void TestFileDialog::answers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("Ok, text typed by hand") << QStringLiteral("ok") << int(QDialog::Accepted) << true;
    QTest::newRow("Cancel") << QStringLiteral("cancel") << int(QDialog::Rejected) << false;
    QTest::newRow("close box") << QStringLiteral("close") << int(QDialog::Rejected) << false;
}

void TestFileDialog::answers()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(bool, chosen);
    frmFileDialog::FilePath = QStringLiteral("/left/from/before.png");
    const QString typed = QStringLiteral("  /no/such/folder/picture .png");
    frmFileDialog dialog;
    ModalAnswerer answerer(ModalAnswerer::For(QStringLiteral("frmFileDialog"), [how, typed](QWidget* w) {
        child<QLineEdit>(w, "txtPath")->setText(typed);
        if (how == u"close")
            w->close();
        else
            child<QPushButton>(w, how == u"ok" ? "cmdOk" : "cmdCancel")->click();
    }));
    QCOMPARE(dialog.exec(), result);
    QVERIFY(answerer.done());
    QCOMPARE(frmFileDialog::FilePath, chosen ? typed : QString());
}

void TestFileDialog::failedFolderChangeKeepsTheLists()
{
    QVERIFY(QDir().mkpath(folder(QStringLiteral("work/gone"))));
    auto dialog = show();
    auto* folders = child<FolderList>(dialog.get(), "Dir1");
    auto* path = child<QLineEdit>(dialog.get(), "txtPath");
    QListWidgetItem* gone = item(folders, QStringLiteral("gone"));
    QVERIFY(gone);
    QVERIFY(QDir(folder(QStringLiteral("work/gone"))).removeRecursively());

    ModalAnswerer answerer(ModalAnswerer::Accept());
    doubleClick(folders, gone);
    QTRY_VERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), QStringLiteral("File Dialog"));
    QCOMPARE(answerer.texts().value(0), ui::FailureReport::Text(QStringLiteral("Dir1_Change"), 76, QStringLiteral("Path not found")));
    QCOMPARE(folders->Path(), m_startFolder);
    QCOMPARE(child<FileList>(dialog.get(), "File1")->Path(), m_startFolder);
    QVERIFY(path->text().isEmpty());
    // Still usable.
    doubleClick(folders, item(folders, QStringLiteral("notes")));
    QCOMPARE(path->text(), folder(QStringLiteral("work/notes")));
}

DABRIX_TEST_MAIN(TestFileDialog)
#include "tst_filedialog.moc"
