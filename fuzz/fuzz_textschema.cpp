// libFuzzer target for text tables with their Schema.ini: the input is a 4-byte
// little-endian length, a Schema.ini of that length, then the text file it describes
// ("fuzz.csv"); the folder is read through the file engine as a text connection.
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
    QByteArray schema;
    QByteArray text;
    fuzzsupport::SplitTwo(input, &schema, &text);
    const QString folder = fuzzsupport::FreshFolder();
    fuzzsupport::WriteFile(QDir(folder).filePath(QStringLiteral("Schema.ini")), schema);
    fuzzsupport::WriteFile(QDir(folder).filePath(QStringLiteral("fuzz.csv")), text);
    fuzzsupport::ReadEverything(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"Text\";").arg(folder), input);
    return 0;
}
