// libFuzzer target for Excel 2007 workbooks (zip + XML): the input is the file, opened and
// read through the file engine with the connection string the chooser builds.
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
    const QString file = QDir(fuzzsupport::FreshFolder()).filePath(QStringLiteral("fuzz.xlsx"));
    fuzzsupport::WriteFile(file, input);
    fuzzsupport::ReadEverything(QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=\"%1\";Extended properties=\"Excel 8.0;HRD=Yes\";OLE DB Services=-2;").arg(file), input);
    return 0;
}
