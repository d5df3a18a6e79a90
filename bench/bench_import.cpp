// 500,000 CSV rows appended to a SQLite table by the import window's import, against the
// sqlite3 shell's ".import" of the same file into the same table in the same run.
#include "ado/Connection.h"
#include "app/MDabrix.h"
#include "connections/ConnectionManager.h"
#include "import/ImportRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Rows = 500000;
const QString CreateTable = QStringLiteral("CREATE TABLE clients (id INTEGER, name TEXT, amount REAL, day TEXT)");

void WriteFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk = "id,name,amount,day\n";
    for (int i = 1; i <= Rows; ++i) {
        chunk += QByteArray::number(i) + ",Client " + QByteArray::number(i % 9973) + ','
                 + QByteArray::number(i % 100000 / 100.0, 'f', 2) + ",2024-"
                 + QByteArray::number(1 + i % 12).rightJustified(2, '0') + '-'
                 + QByteArray::number(1 + i % 28).rightJustified(2, '0') + '\n';
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

QString Sqlite3(const QString& db, const QStringList& commands)
{
    QProcess p;
    QStringList arguments{db};
    arguments += commands;
    p.start(QStringLiteral("sqlite3"), arguments);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        qFatal("sqlite3 failed: %s", p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MDabrix::AppTitle = QStringLiteral("Dabrix");
    MDabrix::InitWorkFolder();
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("clients.csv"));
    const QString db = dir.filePath(QStringLiteral("target.sqlite"));
    WriteFile(csv);
    Sqlite3(db, {CreateTable});
    std::printf("file: %lld bytes, %d rows\n", static_cast<long long>(QFile(csv).size()), Rows);

    QElapsedTimer t;
    t.start();
    Sqlite3(db, {QStringLiteral(".import --csv --skip 1 %1 clients").arg(csv)});
    const double shell = Seconds(t);
    if (Sqlite3(db, {QStringLiteral("SELECT COUNT(*) FROM clients")}).toInt() != Rows)
        qFatal("sqlite3 .import stored the wrong number of rows");
    Sqlite3(db, {QStringLiteral("DELETE FROM clients"), QStringLiteral("VACUUM")});

    // What a browse builds for a comma-separated text file: its copy in the work folder.
    const QFileInfo info(csv);
    t.restart();
    const QString source = ConnectionManager::BuildString(13, csv, info.path(), info.suffix(), false);
    const double browse = Seconds(t);

    ado::Connection target;
    target.Open(QStringLiteral("Provider=SQLite;Data Source=") + db);
    qint64 progressCalls = 0;
    t.restart();
    const qint64 stored = ImportRows::Run(source, info.fileName(), target, QStringLiteral("clients"), false, false,
                                          [&](qint64, qint64) {
                                              ++progressCalls;
                                              QCoreApplication::processEvents();
                                          });
    const double import = Seconds(t);
    target.Close();
    const QString check = Sqlite3(db, {QStringLiteral("SELECT COUNT(*), SUM(amount) FROM clients")});

    std::printf("sqlite3 .import:          %8.3f s\n", shell);
    std::printf("copy into the work folder:%8.3f s (browse, not timed below)\n", browse);
    std::printf("window's import:          %8.3f s  %lld rows, %lld progress reports\n", import,
                static_cast<long long>(stored), static_cast<long long>(progressCalls));
    std::printf("ratio import / .import:   %8.2f\n", import / shell);
    std::printf("check: %s\n", qPrintable(check));
    MDabrix::DeleteWorkFolder();
    return stored == Rows ? 0 : 1;
}
