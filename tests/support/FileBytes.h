#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// The whole content of a file, empty when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Replaces a file's content; a failure fails the running test.
void WriteBytes(const QString& path, const QByteArray& bytes);

} // namespace testsupport
