#include "connections/diaLogin.h"

#include "ui/Twips.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using ui::Twips::Rect;

diaLogin::diaLogin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("diaLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setFixedSize(ui::Twips::ToPixels(4650), ui::Twips::ToPixels(2160));

    lblPrompt_0 = new QLabel(QStringLiteral("Nom d'utilisateur"), this);
    lblPrompt_0->setObjectName(QStringLiteral("lblPrompt_0"));
    lblPrompt_0->setGeometry(Rect(120, 345, 1560, 255));

    txtUserName = new QLineEdit(QStringLiteral("adssys"), this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtUserName->setGeometry(Rect(1740, 300, 2355, 300));
    lblPrompt_0->setBuddy(txtUserName);

    lblPrompt_1 = new QLabel(QStringLiteral("Mot de passe"), this);
    lblPrompt_1->setObjectName(QStringLiteral("lblPrompt_1"));
    lblPrompt_1->setGeometry(Rect(120, 825, 1560, 255));

    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setGeometry(Rect(1740, 780, 2355, 300));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every platform style then shows "*" (42) for each typed character.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    lblPrompt_1->setBuddy(txtPassword);

    fraButtons = new QFrame(this);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    fraButtons->setFrameShape(QFrame::NoFrame);
    fraButtons->setGeometry(Rect(1770, 1500, 2430, 495));

    cmdOK = new QPushButton(QStringLiteral("OK"), fraButtons);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Rect(0, 60, 1095, 375));
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Annuler"), fraButtons);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Rect(1230, 60, 1095, 375));

    connect(cmdOK, &QPushButton::clicked, this, &diaLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &diaLogin::reject);
}

QString diaLogin::Username() const
{
    return txtUserName->text();
}

QString diaLogin::Password() const
{
    return txtPassword->text();
}

void diaLogin::cmdOK_Click()
{
    m_ok = true;
    accept();
}

// "Annuler", Escape and the close box all leave OK false.
void diaLogin::reject()
{
    m_ok = false;
    QDialog::reject();
}
