#include "connections/ConnectionManager.h"

#include "ado/AdoError.h"

QString ConnectionManager::GetCnxStringFromFile(FileOpenDialog* cdb, bool lIsMain)
{
    Q_UNUSED(cdb);
    Q_UNUSED(lIsMain);
    throw ado::AdoError(ado::err::NotSupported, QStringLiteral("Le choix d'un fichier n'est pas encore disponible"));
}
