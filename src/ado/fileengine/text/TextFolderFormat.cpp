#include "ado/AdoError.h"
#include "ado/fileengine/FileFormatFactory.h"

namespace ado::formats {

std::unique_ptr<FileFormat> OpenTextFolder(const QString&)
{
    throw AdoError(err::ProviderNotFound, QStringLiteral("This file format is not available yet."));
}

} // namespace ado::formats
