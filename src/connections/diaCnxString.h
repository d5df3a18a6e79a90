#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// Shows the open database's connection string and copies it to the clipboard.
class diaCnxString : public QDialog {
    Q_OBJECT
public:
    // mainWindow decides where the dialog opens; it is also the dialog's parent.
    explicit diaCnxString(QWidget* mainWindow = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load(QWidget* mainWindow);
    void Form_Resize();
    void cmdCopy_Click();
    void cmdOK_Click();

    QLabel* lblCnxStr = nullptr;
    QFrame* fraButtons = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdOK = nullptr;
};
