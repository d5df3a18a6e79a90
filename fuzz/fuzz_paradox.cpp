// libFuzzer target for Paradox tables: the input is a 4-byte little-endian length, the .DB
// file of that length, then its .MB file; the table is read through the file engine as
// the program reads a folder of Paradox tables.
#include "FuzzSupport.h"

#include <QDir>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::Initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzzsupport::Bytes(data, size);
    QByteArray table;
    QByteArray blobs;
    fuzzsupport::SplitTwo(input, &table, &blobs);
    const QString folder = fuzzsupport::FreshFolder();
    fuzzsupport::WriteFile(QDir(folder).filePath(QStringLiteral("fuzz.DB")), table);
    if (!blobs.isEmpty())
        fuzzsupport::WriteFile(QDir(folder).filePath(QStringLiteral("fuzz.MB")), blobs);
    fuzzsupport::ReadEverything(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Paradox 5.x;").arg(folder), input);
    return 0;
}
