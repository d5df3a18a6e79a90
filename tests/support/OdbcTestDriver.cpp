#include "OdbcTestDriver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSqlDatabase>

namespace testsupport {

namespace {

const char* const kDriverFile = "libsqlite3odbc.so";

QString FindDriverLibrary()
{
    const QStringList candidates = {
        QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/"),
        QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc/"),
        QStringLiteral("/usr/lib/odbc/"),
    };
    for (const QString& folder : candidates) {
        const QFileInfo library(folder + QLatin1String(kDriverFile));
        if (library.isFile())
            return library.absoluteFilePath();
    }
    // Other architectures: ask the package itself where it put the library.
    QProcess dpkg;
    dpkg.start(QStringLiteral("dpkg"), {QStringLiteral("-L"), QStringLiteral("libsqliteodbc")});
    if (!dpkg.waitForFinished(10000) || dpkg.exitCode() != 0)
        return {};
    const QStringList files = QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& file : files) {
        if (file.endsWith(QLatin1Char('/') + QLatin1String(kDriverFile)) && QFileInfo(file).isFile())
            return file;
    }
    return {};
}

bool WriteWhole(const QString& path, const QByteArray& content, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace

bool OdbcTestDriver::Register(QString* error)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC"))) {
        if (error)
            *error = QStringLiteral("Qt's ODBC driver QODBC is missing (Debian package libqt6sql6-odbc)");
        return false;
    }
    const QString library = FindDriverLibrary();
    if (library.isEmpty()) {
        if (error)
            *error = QStringLiteral("the SQLite ODBC driver %1 is missing (Debian package libsqliteodbc)")
                         .arg(QLatin1String(kDriverFile));
        return false;
    }

    const QString folder = QDir::tempPath() + QStringLiteral("/odbc");
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QByteArray registration = QStringLiteral(
        "[%1]\n"
        "Description=SQLite 3 ODBC driver\n"
        "Driver=%2\n"
        "Setup=%2\n"
        "UsageCount=1\n").arg(DriverName(), library).toUtf8();
    if (!WriteWhole(folder + QStringLiteral("/odbcinst.ini"), registration, error)
        || !WriteWhole(folder + QStringLiteral("/odbc.ini"), QByteArray(), error))
        return false;

    // unixODBC takes ODBCINSTINI as a file name inside ODBCSYSINI, and ODBCINI as a full path.
    qputenv("ODBCSYSINI", QFile::encodeName(folder));
    qputenv("ODBCINSTINI", "odbcinst.ini");
    qputenv("ODBCINI", QFile::encodeName(folder + QStringLiteral("/odbc.ini")));
    return true;
}

QString OdbcTestDriver::ConnectionString(const QString& sqliteFile)
{
    return QStringLiteral("Driver={%1};Database=%2;").arg(DriverName(), sqliteFile);
}

} // namespace testsupport
