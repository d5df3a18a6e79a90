#include "app/frmOpenDB.h"

#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {
const QString Caption = QStringLiteral("Ouverture de la base de données");
}

frmOpenDB::frmOpenDB(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmOpenDB"));
    setWindowTitle(Caption);
    setFixedSize(ui::Twips::ToPixels(5400), ui::Twips::ToPixels(1200));

    Label1 = new QLabel(Caption, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(QFont(QStringLiteral("Arial"), 12));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(ui::Twips::Rect(120, 120, 5160, 960));

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
