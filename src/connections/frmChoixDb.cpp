#include "connections/frmChoixDb.h"

#include "ado/AdoError.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/ConnectionManager.h"
#include "connections/FileOpenDialog.h"
#include "connections/MConnections.h"
#include "ui/FailureReport.h"
#include "ui/Twips.h"

#include <QListWidget>
#include <QPushButton>

#include <algorithm>

using ui::Twips::Rect;

namespace {

const QString Caption = QStringLiteral("Choisir une base de données");
const QString General = QStringLiteral("General");
const QString Connections = QStringLiteral("Connections");
const QString EntryConnectionString = QStringLiteral("(Connection string...)");
const QString EntryFile = QStringLiteral("(Fichier...)");
constexpr qint16 DefaultFileType = 1;
constexpr qint16 LastFileType = ConnectionManager::FileTypeCount;

SettingsStore& Store(const std::unique_ptr<SettingsStore>& store)
{
    if (!store)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("The settings store is not open"));
    return *store;
}

// A stored type that is not one of the file types (edited or damaged settings) falls back to
// the first one instead of making the chooser fail on every start.
qint16 StoredFileType(const QVariant& value)
{
    bool ok = false;
    const int type = value.toInt(&ok);
    if (!ok || type < DefaultFileType || type > LastFileType)
        return DefaultFileType;
    return static_cast<qint16>(type);
}

} // namespace

frmChoixDb::frmChoixDb(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChoixDb"));
    setWindowTitle(Caption);
    setFixedSize(ui::Twips::ToPixels(5055), ui::Twips::ToPixels(4755));

    Lis = new QListWidget(this);
    Lis->setObjectName(QStringLiteral("Lis"));
    Lis->setGeometry(Rect(60, 60, 4935, 3960));
    Lis->setSelectionMode(QAbstractItemView::SingleSelection);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Rect(2700, 4320, 1095, 375));
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Annuler"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Rect(3900, 4320, 1095, 375));
    cmdCancel->setAutoDefault(false);

    cdb = new FileOpenDialog(this);

    connect(cmdOK, &QPushButton::clicked, this, &frmChoixDb::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChoixDb::reject);
    connect(Lis, &QListWidget::itemDoubleClicked, this, &frmChoixDb::cmdOK_Click);

    Form_Load();
}

void frmChoixDb::Form_Load()
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::DialogueLoading, [this] {
        m_ok = false;
        // A string confirmed on an earlier visit must not be confirmed again by a cancelled
        // file choice on this one.
        m_connectString.clear();
        SettingsStore& settings = Store(MDabrix::AppSettings);
        m_directory = settings.ReadValue(General, QStringLiteral("Directory"), QString()).toString();
        m_fileType = StoredFileType(settings.ReadValue(General, QStringLiteral("FileType"), DefaultFileType));
        m_lastDatabase = settings.ReadValue(General, QStringLiteral("LastDatabase"), QString()).toString();
        LoadList();
    });
}

void frmChoixDb::LoadList()
{
    Lis->clear();
    QStringList entries{EntryConnectionString, EntryFile};
    Lis->addItems(entries);

    SettingsStore& ombrisk = Store(MDabrix::OmbriskSettings);
    if (!ombrisk.SectionExists(Connections))
        return;
    const QList<QPair<QString, QString>> named = ombrisk.ReadSection(Connections);
    if (named.isEmpty())
        return;
    for (const auto& pair : named)
        entries << pair.first;
    // Sorted without regard to case; the fixed entries begin with "(" and so usually stay on top.
    std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    Lis->clear();
    Lis->addItems(entries);

    // An entry no longer offered (a named connection since removed) selects the first one.
    SelectEntry(m_lastDatabase);
    if (Lis->selectedItems().isEmpty())
        SelectEntry(entries.first());
}

void frmChoixDb::SelectEntry(const QString& text)
{
    if (text.isEmpty())
        return;
    for (int row = 0; row < Lis->count(); ++row) {
        QListWidgetItem* item = Lis->item(row);
        if (item->text() == text) {
            Lis->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
            Lis->scrollToItem(item);
            return;
        }
    }
}

void frmChoixDb::cmdOK_Click()
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::OperatorAction, [this] {
        const QList<QListWidgetItem*> selected = Lis->selectedItems();
        const QString t = selected.isEmpty() ? QString() : selected.first()->text();

        if (t == EntryConnectionString) {
            m_connectString = MConnections::AskConnectionString();
            m_lastDatabase = t;
        } else if (t == EntryFile) {
            ConnectionManager manager;
            manager.Directory = m_directory;
            manager.FileType = m_fileType;
            QString s = manager.GetCnxStringFromFile(cdb, true);
            m_directory = manager.Directory;
            m_fileType = manager.FileType;
            if (s.contains(MConnections::LoginMarker, Qt::CaseSensitive))
                s = MConnections::ApplyLogin(s);
            if (!s.isEmpty()) {
                m_connectString = s;
                m_lastDatabase = t;
            }
        } else {
            // Named connections are used as stored: "[Login]" is not looked for in them.
            m_connectString = t.isEmpty()
                ? QString()
                : Store(MDabrix::OmbriskSettings).ReadValue(Connections, t, QString()).toString();
            m_lastDatabase = t;
        }

        if (!m_connectString.isEmpty()) {
            m_ok = true;
            accept();
        }
    });
}

// "Annuler", Escape and the close box all leave OK false.
void frmChoixDb::reject()
{
    m_ok = false;
    QDialog::reject();
}

void frmChoixDb::Unload()
{
    ui::FailureReport::Guard(this, Caption, ui::Sentence::DialogueLoading, [this] {
        SettingsStore& settings = Store(MDabrix::AppSettings);
        settings.WriteValue(General, QStringLiteral("Directory"), m_directory, SettingsStore::KindText);
        settings.WriteValue(General, QStringLiteral("FileType"), m_fileType, SettingsStore::KindNumber);
        settings.WriteValue(General, QStringLiteral("LastDatabase"), m_lastDatabase, SettingsStore::KindText);
    });
}
