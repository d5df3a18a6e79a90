#include "app/SettingsStore.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

#include <limits>

namespace {

// VB's "Path/File access error": the settings file could not be written or protected.
constexpr long FileAccessError = 75;
// VB's "Invalid procedure call or argument".
constexpr long InvalidArgument = 5;

constexpr QFile::Permissions OwnerFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions OwnerFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QString GroupOf(const QString& section)
{
    QString group = section;
    group.replace(u'\\', u'/');
    return group;
}

// Enters a group for one call and always leaves it, even when the call throws.
class GroupScope {
public:
    GroupScope(QSettings& settings, const QString& section) : m_settings(settings)
    {
        m_settings.beginGroup(GroupOf(section));
    }
    ~GroupScope() { m_settings.endGroup(); }
    GroupScope(const GroupScope&) = delete;
    GroupScope& operator=(const GroupScope&) = delete;

private:
    QSettings& m_settings;
};

// The file may hold connection strings with passwords: its folder and the file itself are
// created for the owner only before QSettings writes anything. QSettings then saves through
// a temporary file renamed over this one, which keeps the permissions of the existing file.
void PrepareOwnerOnlyFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QDir().mkdir(folder, OwnerFolder);
    }
    if (!QFile::setPermissions(folder, OwnerFolder))
        throw ado::AdoError(FileAccessError, QStringLiteral("Cannot protect the settings folder %1").arg(folder));
    if (!info.exists()) {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerFile) && !QFileInfo::exists(fileName))
            throw ado::AdoError(FileAccessError, QStringLiteral("Cannot create the settings file %1").arg(fileName));
    }
}

[[noreturn]] void CannotWrite(const QString& fileName, const QString& why = QString())
{
    throw ado::AdoError(FileAccessError, why.isEmpty() ? QStringLiteral("Cannot write the settings file %1").arg(fileName)
                                                       : QStringLiteral("Cannot write the settings file %1 (%2)").arg(fileName, why));
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A private copy of the settings file next to it, holding `bytes`.
std::unique_ptr<QTemporaryFile> CopyBeside(const QString& fileName, const QByteArray& bytes)
{
    auto copy = std::make_unique<QTemporaryFile>(fileName + QStringLiteral(".XXXXXX"));
    if (!copy->open() || copy->write(bytes) != bytes.size() || !copy->flush())
        CannotWrite(fileName, copy->errorString());
    copy->close();
    return copy;
}

// Whether the file at `path` reads back every key of `expected` with its value. It is read
// from a copy of its own: QSettings would answer from what it believes it wrote.
bool ReadsBack(const QString& fileName, const QString& path, const QSettings& expected)
{
    const std::unique_ptr<QTemporaryFile> fresh = CopyBeside(fileName, ReadBytes(path));
    const QSettings check(fresh->fileName(), QSettings::IniFormat);
    if (check.status() != QSettings::NoError)
        return false;
    const QStringList keys = expected.allKeys();
    if (check.allKeys().size() != keys.size())
        return false;
    for (const QString& key : keys)
        if (check.value(key).toString() != expected.value(key).toString())
            return false;
    return true;
}

// Sets one value and puts the file in place as a whole. QSettings is not trusted with the
// file itself: when a write fails under it, it may put an empty file in place and report
// success. It writes a copy; the copy must read back, then it is synced and renamed over
// the file, so the file holds the settings before or after, never less.
void SaveOneValue(const QString& fileName, const QString& group, const QString& key, const QVariant& value)
{
    const std::unique_ptr<QTemporaryFile> copy = CopyBeside(fileName, ReadBytes(fileName));
    {
        QSettings settings(copy->fileName(), QSettings::IniFormat);
        settings.beginGroup(group);
        settings.setValue(key, value);
        settings.endGroup();
        settings.sync();
        if (settings.status() != QSettings::NoError || !ReadsBack(fileName, copy->fileName(), settings))
            CannotWrite(fileName);
    }
    QFile::remove(copy->fileName() + QStringLiteral(".lock"));
    try {
        QFile synced(copy->fileName());
        if (!synced.open(QIODevice::ReadWrite))
            CannotWrite(fileName, synced.errorString());
        ado::FileIo::Sync(&synced, fileName);
        synced.close();
        ado::FileIo::Rename(copy->fileName(), fileName, fileName);
    } catch (const ado::AdoError& e) {
        CannotWrite(fileName, e.Description());
    }
    copy->setAutoRemove(false);
}

void ProtectFile(const QString& fileName)
{
    if (!QFile::setPermissions(fileName, OwnerFile)
        || (QFile::permissions(fileName) & ~(OwnerFile | QFile::ReadUser | QFile::WriteUser)) != 0)
        throw ado::AdoError(FileAccessError, QStringLiteral("Cannot protect the settings file %1").arg(fileName));
}

} // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

void SettingsStore::Open(const QString& company, const QString& application, bool flag)
{
    // The native format is an INI file named <application>.conf on Linux (IniFormat would
    // name it .ini), the same file a plain QSettings(company, application) reads.
    m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, company, application);
    m_readOnly = flag;
}

QSettings& SettingsStore::settings() const
{
    if (!m_settings)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("The settings store is not open"));
    return *m_settings;
}

QString SettingsStore::FileName() const
{
    return m_settings ? m_settings->fileName() : QString();
}

bool SettingsStore::SectionExists(const QString& section) const
{
    QSettings& s = settings();
    GroupScope scope(s, section);
    return !s.allKeys().isEmpty();
}

QVariant SettingsStore::ReadValue(const QString& section, const QString& key, const QVariant& defaultValue) const
{
    QSettings& s = settings();
    if (key.isEmpty())
        return defaultValue;
    GroupScope scope(s, section);
    return s.value(key, defaultValue);
}

void SettingsStore::WriteValue(const QString& section, const QString& key, const QVariant& value, int kind)
{
    QSettings& s = settings();
    if (m_readOnly)
        return;
    if (key.isEmpty())
        throw ado::AdoError(InvalidArgument, QStringLiteral("A setting needs a key"));

    QVariant stored;
    switch (kind) {
    case KindDefault:
    case KindText:
        stored = value.toString();
        break;
    case KindNumber: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            throw ado::AdoError(ado::err::TypeMismatch, QStringLiteral("Type mismatch"));
        stored = static_cast<qint32>(n);
        break;
    }
    default:
        throw ado::AdoError(InvalidArgument, QStringLiteral("Unsupported kind of setting: %1").arg(kind));
    }

    const QString fileName = s.fileName();
    PrepareOwnerOnlyFile(fileName);
    const QDateTime before = QFileInfo(fileName).lastModified();
    SaveOneValue(fileName, GroupOf(section), key, stored);
    // QSettings reads the file again only when its size or time has changed; two writes in
    // one millisecond could keep the size, so the time moves on by a millisecond at least.
    {
        QFile file(fileName);
        const QDateTime now = QDateTime::currentDateTime();
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(before.isValid() && now <= before ? before.addMSecs(1) : now, QFileDevice::FileModificationTime);
    }
    s.sync();
    ProtectFile(fileName);
}

QList<QPair<QString, QString>> SettingsStore::ReadSection(const QString& section) const
{
    QSettings& s = settings();
    GroupScope scope(s, section);
    QList<QPair<QString, QString>> rows;
    const QStringList keys = s.childKeys();
    rows.reserve(keys.size());
    for (const QString& key : keys)
        rows.append({key, s.value(key).toString()});
    return rows;
}
