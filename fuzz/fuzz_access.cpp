// libFuzzer target for Access databases (Jet 3 and Jet 4): the input is the file, opened
// and read through the file engine with the connection string the chooser builds. libmdb
// reads it in the child process the program uses; a child that dies on the input is
// contained and kept, not taken for a crash of the program.
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
    const QString file = QDir(fuzzsupport::FreshFolder()).filePath(QStringLiteral("fuzz.mdb"));
    fuzzsupport::WriteFile(file, input);
    fuzzsupport::ReadEverything(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%1\";").arg(file), input);
    return 0;
}
