#include "windows/frmDbTables.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "app/FormPlacement.h"
#include "app/InputValidator.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "ui/AppIcons.h"
#include "ui/BusyCursor.h"
#include "ui/CaptionFit.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/FramedLayout.h"
#include "ui/Twips.h"
#include "import/frmAppendFrom.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString kPlacementSection = QStringLiteral("Forms\\frmDbTables");
constexpr double kToolbarHeight = 420; // twips

void SetMenuCheck(bool checked)
{
    if (MDI* main = MDI::Instance())
        if (auto* item = main->findChild<QAction*>(QStringLiteral("mnu_AffDbTables")))
            item->setChecked(checked);
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

} // namespace

frmDbTables::frmDbTables(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmDbTables"));
    setWindowTitle(QStringLiteral("Tables"));
    BuildControls();
    resize(ui::Twips::ToPixels(5700), ui::Twips::ToPixels(3750));
    if (!parent)
        MDI::Host(this);
    Form_Load();
}

void frmDbTables::BuildControls()
{
    Tb = new QToolBar(this);
    Tb->setObjectName(QStringLiteral("Tb"));
    Tb->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Tb->setIconSize(QSize(16, 16));
    const auto addButton = [this](const QString& key, ui::AppIcons::Id picture, const QString& tip) {
        // No caption: the button shows its picture only, and only "AppendFrom" has a tooltip.
        auto* button = new QAction(ui::AppIcons::Get(picture), QString(), Tb);
        button->setObjectName(key);
        button->setToolTip(tip);
        Tb->addAction(button);
        connect(button, &QAction::triggered, this, [this, key] { Tb_ButtonClick(key); });
    };
    addButton(QStringLiteral("Open"), ui::AppIcons::Id::Open, QString());
    addButton(QStringLiteral("AppendFrom"), ui::AppIcons::Id::AppendFrom, QStringLiteral("Insérer des lignes"));

    fraMaxCount = new QFrame(Tb);
    fraMaxCount->setObjectName(QStringLiteral("fraMaxCount"));
    fraMaxCount->setFrameShape(QFrame::NoFrame);
    fraMaxCount->setGeometry(ui::Twips::Rect(1080, 0, 2475, 400));
    chkAssync = new QCheckBox(QStringLiteral("Assync."), fraMaxCount);
    chkAssync->setObjectName(QStringLiteral("chkAssync"));
    chkAssync->setGeometry(ui::Twips::Rect(0, 110, 915, 255));
    chkAssync->setChecked(true);
    lblPrompt = new QLabel(QStringLiteral("Top n"), fraMaxCount);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setGeometry(ui::Twips::Rect(960, 120, 420, 195));
    txtMaxCount = new QLineEdit(QStringLiteral("1000"), fraMaxCount);
    txtMaxCount->setObjectName(QStringLiteral("txtMaxCount"));
    txtMaxCount->setGeometry(ui::Twips::Rect(1680, 60, 795, 300));
    txtMaxCount->installEventFilter(this);
    ui::CaptionFit::Line({chkAssync, lblPrompt, txtMaxCount}, ui::Twips::ToPixels(45));

    Fra = new QGroupBox(QStringLiteral("Liste des &Tables"), this);
    Fra->setObjectName(QStringLiteral("Fra"));
    Fra->setGeometry(ui::Twips::Rect(60, 480, 5595, 3132));
    Lis = new QListWidget(Fra);
    Lis->setObjectName(QStringLiteral("Lis"));
    Lis->setGeometry(ui::Twips::Rect(120, 300, 5355, 2595));
    connect(Lis, &QListWidget::itemDoubleClicked, this, &frmDbTables::Lis_DblClick);
}

void frmDbTables::Form_Load()
{
    ui::FormsRegistry::Register(this);
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::WindowLoading, [this] {
        FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
        m_loaded = true;
        SetMenuCheck(true);
        if (MDabrix::IsHfsql) {
            // That provider cannot fetch in the background.
            chkAssync->setChecked(false);
            chkAssync->setEnabled(false);
        }
        FillTableList();
    });
    m_loaded = true;
}

void frmDbTables::FillTableList()
{
    if (!MDabrix::Catalog)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    // Sorted as the user reads names, whatever order the catalogue gives: without regard
    // to case, and "Éclair" with the E's; equal keys keep the catalogue's order.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QStringList names;
    for (const ado::TableInfo& table : MDabrix::Catalog->Tables()) {
        if (table.Type == u"TABLE")
            names << table.Name;
    }
    std::stable_sort(names.begin(), names.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    Lis->addItems(names);
    if (Lis->count() > 0)
        Lis->setCurrentRow(0);
}

QString frmDbTables::SelectedTable() const
{
    const QListWidgetItem* item = Lis->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void frmDbTables::Lis_DblClick()
{
    OpenTable(SelectedTable());
}

void frmDbTables::Tb_ButtonClick(const QString& key)
{
    if (key == u"Open")
        OpenTable(SelectedTable());
    else if (key == u"AppendFrom")
        OpenAppendFrom(SelectedTable());
}

qint32 frmDbTables::RowLimit(const QString& text)
{
    // Blanks anywhere in the number are skipped; the first other character ends it.
    QString number;
    enum { Sign, Whole, Fraction, ExponentSign, Exponent } part = Sign;
    QString exponent;
    for (const QChar c : text) {
        if (IsBlank(c))
            continue;
        if (part == Sign && (c == u'+' || c == u'-')) {
            number += c;
            part = Whole;
        } else if (c.isDigit() && c.unicode() < 128) {
            if (part == Sign)
                part = Whole;
            if (part == ExponentSign)
                part = Exponent;
            (part == Exponent ? exponent : number) += c;
        } else if (c == u'.' && (part == Sign || part == Whole)) {
            number += c;
            part = Fraction;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && (part == Whole || part == Fraction)) {
            part = ExponentSign;
        } else if (part == ExponentSign && (c == u'+' || c == u'-') && exponent.isEmpty()) {
            exponent += c;
        } else {
            break;
        }
    }
    bool ok = false;
    double value = number.toDouble(&ok);
    if (!ok)
        value = 0;
    if (ok && !exponent.isEmpty() && exponent != u"+" && exponent != u"-")
        value = QString(number + u'e' + exponent).toDouble(&ok);
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max()))
        throw ado::AdoError(ado::err::Overflow, QStringLiteral("Overflow"));
    return static_cast<qint32>(rounded);
}

void frmDbTables::OpenTable(const QString& TblName)
{
    try {
        auto window = std::make_unique<frmTblData>();
        ui::BusyCursor busy;
        const qint32 maxCount = RowLimit(txtMaxCount->text());
        const bool assync = chkAssync->isChecked();
        window->Init(TblName, maxCount, assync);
        ui::BusyCursor::RestoreAll();
        frmTblData* shown = window.release();
        MDI::Host(shown);
        if (MDI* main = MDI::Instance())
            main->ShowChild(shown);
        else
            shown->show();
    } catch (...) {
        ActionFailed(std::current_exception());
    }
}

void frmDbTables::OpenAppendFrom(const QString& TblName)
{
    try {
        if (TblName.isEmpty())
            throw ado::AdoError(ado::err::TableNotFound, QStringLiteral("No table is selected."));
        auto window = std::make_unique<frmAppendFrom>();
        window->Init(TblName);
        frmAppendFrom* shown = window.release();
        MDI::Host(shown);
        if (MDI* main = MDI::Instance())
            main->ShowChild(shown);
        else
            shown->show();
    } catch (...) {
        ActionFailed(std::current_exception());
    }
}

void frmDbTables::ActionFailed(std::exception_ptr failure)
{
    ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, failure);
}

void frmDbTables::txtMaxCount_Validate(bool& cancel)
{
    if (InputValidator::Instance().IsWholeNumber(txtMaxCount->text().trimmed()))
        return;
    QMessageBox box(QMessageBox::Warning, windowTitle(), QStringLiteral("La valeur doit être numérique et entière"),
                    QMessageBox::Ok, this);
    box.exec();
    cancel = true;
}

bool frmDbTables::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtMaxCount && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        QWidget* next = QApplication::focusWidget();
        // Only a move to another control of this window validates; switching windows does not.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next && next != txtMaxCount
            && isAncestorOf(next)) {
            bool cancel = false;
            try {
                txtMaxCount_Validate(cancel);
            } catch (...) {
                ActionFailed(std::current_exception());
            }
            if (cancel)
                txtMaxCount->setFocus(Qt::OtherFocusReason);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDbTables::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmDbTables::Form_Resize()
{
    try {
        if (m_loaded)
            FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
    } catch (...) {
        // Layout goes on even when the settings cannot be written.
    }
    ui::FramedLayout::Apply(*this, *Tb, kToolbarHeight, *Fra, *Lis);
}

void frmDbTables::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmDbTables::Form_Unload()
{
    SetMenuCheck(false);
    ui::FormsRegistry::Unregister(this);
}
