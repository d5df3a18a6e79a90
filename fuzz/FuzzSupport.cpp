#include "FuzzSupport.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "ado/fileengine/ChildProcessReader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <sanitizer/common_interface_defs.h>
#include <sys/resource.h>
#include <unistd.h>

namespace fuzzsupport {

namespace {


// What a reader child process says when the input killed it rather than being refused.
bool ChildDied(const QString& description)
{
    return description.contains(QStringLiteral("stopped on it with signal"))
        || description.contains(QStringLiteral("reader ended with status"));
}

void KeepContained(const QByteArray& input, const QString& description)
{
    std::fprintf(stderr, "contained reader crash: %s\n", qPrintable(description));
    const QString folder = qEnvironmentVariable("DABRIX_FUZZ_CONTAINED");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QString name = QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex());
    WriteFile(QDir(folder).filePath(name), input);
}

} // namespace

void Initialize(int* argc, char*** argv)
{
    // Never destroyed: at exit Qt's own globals go first, and a late destructor would crash.
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    (void)app;
    // A reader child is a forked copy of the fuzzer. A memory error there must end the child
    // alone, which the program reports, not make libFuzzer save the input as a crash of the
    // harness; and a child that spins on an input may not hold the run for two minutes.
    ado::ChildProcessReader::SetChildHook([] {
        __sanitizer_set_death_callback(nullptr);
        rlimit cpu{2, 3};
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
}

QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString FreshFolder()
{
    static const QString folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        return QDir(base).filePath(QStringLiteral("dabrix-fuzz-%1").arg(::getpid()));
    }();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort(); // the harness itself cannot work
}

void ReadEverything(const QString& connectionString, const QByteArray& input)
{
    try {
        ado::Connection cnx;
        cnx.Open(connectionString);
        ado::Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        for (const ado::TableInfo& table : catalog.Tables()) {
            try {
                ado::Recordset rs;
                QString name = table.Name;
                rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(name.replace(u']', QStringLiteral("]]"))), &cnx);
                for (; !rs.Eof(); rs.MoveNext()) {
                    for (int c = 0; c < rs.FieldCount(); ++c)
                        (void)rs.Fields(c).Value().toString();
                }
            } catch (const ado::AdoError& e) {
                if (ChildDied(e.Description()))
                    KeepContained(input, e.Description());
            }
        }
    } catch (const ado::AdoError& e) {
        if (ChildDied(e.Description()))
            KeepContained(input, e.Description());
    }
}

void SplitTwo(const QByteArray& input, QByteArray* first, QByteArray* second)
{
    if (input.size() < 4) {
        *first = input;
        second->clear();
        return;
    }
    const qsizetype length = qsizetype(qMin<quint32>(qFromLittleEndian<quint32>(input.constData()), quint32(input.size() - 4)));
    *first = input.mid(4, length);
    *second = input.mid(4 + length);
}

} // namespace fuzzsupport
