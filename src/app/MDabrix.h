#pragma once

#include <QString>
#include <memory>

class SettingsStore;
namespace ado {
class Connection;
class Catalog;
}

// Application state and start-up: the one shared connection and everything around it.
namespace MDabrix {

extern QString AppTitle;
extern std::unique_ptr<SettingsStore> AppSettings;
extern std::unique_ptr<SettingsStore> OmbriskSettings;
extern QString TempFolder;
extern QString WorkFolder;
extern std::unique_ptr<ado::Connection> Cnx;
extern std::unique_ptr<ado::Catalog> Catalog;
extern QString CnxString;
extern bool IsJet4;
extern bool IsHfsql;
// A database named on the command line: the first OpenDatabase opens it without the
// chooser (and shows the chooser when it cannot be opened).
extern QString PendingSource;
extern qint16 PendingTextFileType;

void Main();
bool OpenDatabase();
void CloseDatabase();
void InitWorkFolder();
// Removes the work folder and everything in it, read-only files included.
void DeleteWorkFolder();
bool IsJet4Database();
bool IsHfsqlProvider();
void RefreshDataWindows();

} // namespace MDabrix
