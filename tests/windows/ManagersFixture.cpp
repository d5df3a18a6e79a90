#include "ManagersFixture.h"

#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "support/FileBytes.h"

#include <QAction>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QSettings>

bool ManagersFixture::Open(const QString& kind, const QString& name)
{
    QSettings(QStringLiteral("Corvanet"), QStringLiteral("Dabrix")).clear();
    if (!db.Open(kind, name))
        return false;
    const QString blob = db.IsPostgres() ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    db.Exec({QStringLiteral("CREATE TABLE [Images] (id INTEGER PRIMARY KEY, Code VARCHAR(20), Label VARCHAR(40), Image %1)").arg(blob),
             QStringLiteral("INSERT INTO [Images] (id, Code, Label) VALUES (1, 'A1', 'first')"),
             QStringLiteral("INSERT INTO [Images] (id, Code, Label) VALUES (2, '   ', 'blank')"),
             QStringLiteral("INSERT INTO [Images] (id, Code, Label) VALUES (3, NULL, 'no code')"),
             QStringLiteral("INSERT INTO [Images] (id, Code, Label) VALUES (4, 'B2', 'second')"),
             QStringLiteral("CREATE TABLE [Scripts] (id INTEGER PRIMARY KEY, name VARCHAR(20), text TEXT)"),
             QStringLiteral("INSERT INTO [Scripts] VALUES (1, 'purge', 'DELETE FROM Logs')"),
             QStringLiteral("INSERT INTO [Scripts] VALUES (2, 'count', 'SELECT count(*)\r\nFROM Clients')"),
             QStringLiteral("INSERT INTO [Scripts] (id, name) VALUES (3, 'empty')")});
    MDabrix::Catalog = std::make_unique<ado::Catalog>();
    MDabrix::Catalog->SetActiveConnection(MDabrix::Cnx.get());
    MDabrix::CnxString = db.connectionString;
    main = new MDI();
    main->show();
    return true;
}

void ManagersFixture::Close()
{
    if (main)
        main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MDabrix::Catalog.reset();
    WinFixture::Close();
}

QWidget* ManagersFixture::Command(const QString& menu, const QString& form)
{
    main->findChild<QAction*>(menu)->trigger();
    QMdiSubWindow* active = main->Area()->activeSubWindow();
    return active && active->widget()->objectName() == form ? active->widget() : nullptr;
}

QByteArray ManagersFixture::PictureBytes(qint64 size, int seed)
{
    QRandomGenerator random(quint32(seed + 1));
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    buffer.close();
    while (bytes.size() < size)
        bytes.append(char(random.bounded(256)));
    bytes.truncate(size);
    return bytes;
}

QString ManagersFixture::WriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = QDir::temp().filePath(name);
    testsupport::WriteBytes(path, bytes);
    return path;
}

void ManagersFixture::StorePicture(int id, const QByteArray& bytes) const
{
    ado::Recordset rs;
    rs.SetCursorLocation(ado::Recordset::adUseClient);
    rs.Open(QStringLiteral("SELECT * FROM [Images] WHERE id = %1").arg(id), MDabrix::Cnx.get(),
            ado::Recordset::adOpenStatic, ado::Recordset::adLockOptimistic);
    rs.Fields(QStringLiteral("Image")).SetValue(bytes);
    rs.Update();
}

QByteArray ManagersFixture::StoredPicture(int id) const
{
    return db.ReadBack(QStringLiteral("SELECT Image FROM [Images] WHERE id = %1").arg(id)).toByteArray();
}
