#pragma once

#include <QString>

// Connection strings typed by the user or completed with a login, and the field type classes.
namespace MConnections {

// The marker the connection-string builder leaves where user name and password belong.
inline const QString LoginMarker = QStringLiteral("[Login]");

// Asks for a raw connection string, starting from the one typed last; what the prompt
// returns is remembered as "ConnectionString" (cancelling returns and remembers "").
QString AskConnectionString();

// Replaces every "[Login]" of cnx with the user name and password asked in diaLogin;
// empty when the user cancels.
QString ApplyLogin(const QString& cnx);

// The login text that stands for "[Login]".
QString LoginText(const QString& userName, const QString& password);

// Class of an ADO data type code: 0 text, 1 numeric, 2 date and time, 3 GUID, 4 other.
int GetFieldTypeCategory(int adoType);

} // namespace MConnections
