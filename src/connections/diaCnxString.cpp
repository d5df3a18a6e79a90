#include "connections/diaCnxString.h"

#include "app/MDabrix.h"
#include "ui/FailureReport.h"
#include "ui/Twips.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using ui::Twips::FromPixels;
using ui::Twips::Rect;
using ui::Twips::ToPixels;

namespace {
const QString Caption = QStringLiteral("Connection String");
constexpr double LabelMargin = 240;
} // namespace

diaCnxString::diaCnxString(QWidget* mainWindow) : QDialog(mainWindow)
{
    setObjectName(QStringLiteral("diaCnxString"));
    setWindowTitle(Caption);
    resize(ToPixels(7200), ToPixels(2520));

    lblCnxStr = new QLabel(this);
    lblCnxStr->setObjectName(QStringLiteral("lblCnxStr"));
    // A connection string is data, never markup.
    lblCnxStr->setTextFormat(Qt::PlainText);
    lblCnxStr->setWordWrap(true);
    lblCnxStr->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblCnxStr->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCnxStr->setGeometry(Rect(120, 120, 6960, 1800));

    fraButtons = new QFrame(this);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    fraButtons->setFrameShape(QFrame::NoFrame);
    fraButtons->setGeometry(Rect(4710, 2040, 2490, 480));

    cmdCopy = new QPushButton(QStringLiteral("C&opier"), fraButtons);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdCopy->setGeometry(Rect(0, 0, 1095, 375));
    cmdCopy->setAutoDefault(false);

    // OK is both the default and the cancel button: Enter and Escape close the dialog.
    cmdOK = new QPushButton(QStringLiteral("OK"), fraButtons);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Rect(1275, 0, 1095, 375));
    cmdOK->setDefault(true);

    connect(cmdCopy, &QPushButton::clicked, this, &diaCnxString::cmdCopy_Click);
    connect(cmdOK, &QPushButton::clicked, this, &diaCnxString::cmdOK_Click);

    Form_Load(mainWindow);
}

void diaCnxString::Form_Load(QWidget* mainWindow)
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::DialogLoad, [&] {
        // Centred on the main window's size taken from the screen's origin: the main
        // window's own position is deliberately not added. W and H are its outer size.
        QSize outer;
        if (mainWindow)
            outer = mainWindow->frameGeometry().size();
        else if (QScreen* screen = QGuiApplication::primaryScreen())
            outer = screen->availableGeometry().size();
        move((outer.width() - width()) / 2, (outer.height() - height()) / 2);
        lblCnxStr->setText(MDabrix::CnxString);
    });
}

void diaCnxString::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

// Each control on its own: a window too small for the margins leaves the label as it was.
void diaCnxString::Form_Resize()
{
    const double innerWidth = FromPixels(width());
    const double innerHeight = FromPixels(height());
    const double frameWidth = FromPixels(fraButtons->width());
    const double frameHeight = FromPixels(fraButtons->height());
    const double frameTop = innerHeight - frameHeight;
    fraButtons->move(ToPixels(innerWidth - frameWidth), ToPixels(frameTop));

    const double labelLeft = FromPixels(lblCnxStr->x());
    const double labelTop = FromPixels(lblCnxStr->y());
    const double labelWidth = innerWidth - 2 * labelLeft;
    const double labelHeight = frameTop - LabelMargin;
    if (labelWidth >= 0 && labelHeight >= 0)
        lblCnxStr->setGeometry(Rect(labelLeft, labelTop, labelWidth, labelHeight));
}

void diaCnxString::cmdCopy_Click()
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::OperatorAction, [] {
        QGuiApplication::clipboard()->setText(MDabrix::CnxString);
    });
}

void diaCnxString::cmdOK_Click()
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::OperatorAction, [this] { accept(); });
}
