#pragma once

#include <QWidget>

class QLabel;

// The splash shown while the database opens; it has no behaviour of its own.
class frmOpenDB : public QWidget {
    Q_OBJECT
public:
    explicit frmOpenDB(QWidget* parent = nullptr);

private:
    QLabel* Label1 = nullptr;
};
