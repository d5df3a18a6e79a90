#include "connections/MConnections.h"

#include "ado/AdoError.h"
#include "ado/ConnectionString.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/diaLogin.h"

#include <QApplication>
#include <QInputDialog>

namespace MConnections {

namespace {

const QString General = QStringLiteral("General");
const QString ConnectionStringKey = QStringLiteral("ConnectionString");

SettingsStore& AppSettings()
{
    if (!MDabrix::AppSettings)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("The settings store is not open"));
    return *MDabrix::AppSettings;
}

} // namespace

QString AskConnectionString()
{
    SettingsStore& settings = AppSettings();
    const QString remembered = settings.ReadValue(General, ConnectionStringKey, QString()).toString();

    QInputDialog box(QApplication::activeModalWidget());
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(QStringLiteral("Connection string"));
    box.setLabelText(QStringLiteral("Entrer la chaine de connexion..."));
    box.setTextValue(remembered);
    const QString answer = box.exec() == QDialog::Accepted ? box.textValue() : QString();

    settings.WriteValue(General, ConnectionStringKey, answer, SettingsStore::KindDefault);
    return answer;
}

QString LoginText(const QString& userName, const QString& password)
{
    QString text = QStringLiteral("User ID=") + ado::ConnectionString::QuoteValue(userName);
    if (!password.isEmpty())
        text += QStringLiteral("; Password=") + ado::ConnectionString::QuoteValue(password);
    return text + QStringLiteral(";\n");
}

QString ApplyLogin(const QString& cnx)
{
    diaLogin dialog(QApplication::activeModalWidget());
    dialog.exec();
    if (!dialog.OK())
        return {};
    QString result = cnx;
    result.replace(LoginMarker, LoginText(dialog.Username(), dialog.Password()), Qt::CaseSensitive);
    return result;
}

int GetFieldTypeCategory(int adoType)
{
    switch (adoType) {
    case 200: case 201: case 202: case 203:
        return 0;
    case 2: case 3: case 4: case 5: case 6: case 14: case 16: case 17: case 18: case 19:
    case 20: case 21: case 131:
        return 1;
    case 7: case 133: case 134: case 135:
        return 2;
    case 72:
        return 3;
    default:
        return 4;
    }
}

} // namespace MConnections
