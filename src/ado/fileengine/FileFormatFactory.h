#pragma once

#include "ado/fileengine/FileFormat.h"

#include <memory>
#include <optional>

namespace ado {

class Backend;
class ConnectionString;

// Each file format opens its data source through one of these; they throw AdoError when
// the source is missing or unreadable. engineType is the "Jet OLEDB:Engine Type" the
// source answers, given when it is opened through the Jet or ACE provider.
namespace formats {
std::unique_ptr<FileFormat> OpenDbfFolder(const QString& folder, std::optional<int> engineType = std::nullopt);
std::unique_ptr<FileFormat> OpenTextFolder(const QString& folder);
std::unique_ptr<FileFormat> OpenWorkbook(const QString& file, bool firstRowHasNames, int engineType = 0);
std::unique_ptr<FileFormat> OpenAccessFile(const QString& file);
std::unique_ptr<FileFormat> OpenParadoxFolder(const QString& folder, int engineType = 0);
} // namespace formats

// Reads the provider, "Data Source" and "Extended Properties" of a file connection string
// and opens the file engine over the right format.
class FileFormatFactory {
public:
    static std::unique_ptr<Backend> OpenJet(const QString& provider, const ConnectionString& cs);
    static std::unique_ptr<Backend> OpenAdvantage(const ConnectionString& cs);
};

} // namespace ado
