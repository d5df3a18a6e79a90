#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks the user name and password that replace "[Login]" in a connection string.
// A new dialog per login, so nothing typed is remembered.
class diaLogin : public QDialog {
    Q_OBJECT
public:
    explicit diaLogin(QWidget* parent = nullptr);

    bool OK() const { return m_ok; }
    QString Username() const;
    QString Password() const;

public slots:
    void reject() override;

private:
    void cmdOK_Click();

    bool m_ok = false;
    QLabel* lblPrompt_0 = nullptr;
    QLabel* lblPrompt_1 = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QFrame* fraButtons = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};
