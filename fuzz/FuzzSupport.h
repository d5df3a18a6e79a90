#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the file-format fuzz targets share: a scratch folder of the process's own, and a
// reading of every row of every table through the same connection the program opens.
namespace fuzzsupport {

// Makes the application object the SQL drivers need; call from LLVMFuzzerInitialize.
void Initialize(int* argc, char*** argv);

QByteArray Bytes(const uint8_t* data, size_t size);

// A folder emptied for each input (in memory where the system offers one).
QString FreshFolder();
void WriteFile(const QString& path, const QByteArray& bytes);

// Opens the connection and reads every value of every table; an AdoError is an answer, not
// a finding. A reader child process that died on the input is contained: it is reported
// on stderr and its input kept under $DABRIX_FUZZ_CONTAINED, never taken for a crash of
// the program.
void ReadEverything(const QString& connectionString, const QByteArray& input);

// Splits an input in two at a 4-byte little-endian length prefix.
void SplitTwo(const QByteArray& input, QByteArray* first, QByteArray* second);

} // namespace fuzzsupport
