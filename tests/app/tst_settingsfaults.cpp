// The settings file meets a failing disk: QSettings saves it through a file of its own, out
// of reach of the program's write seam, so this program puts itself between Qt and the C
// library's write, fdatasync, fsync and rename and fails the k-th call on the settings
// folder, for every k.
#include "ado/AdoError.h"
#include "app/SettingsStore.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The calls on files under `folder` are counted while armed; the one numbered `failAt`
// fails with EIO (a write first writes half its bytes when `shortWrite`).
struct Faults {
    std::atomic<bool> armed{false};
    char folder[PATH_MAX] = {};
    int calls = 0;
    int failAt = -1;
    bool shortWrite = false;
};

Faults& TheFaults()
{
    static Faults faults;
    return faults;
}

bool InFolder(const char* path)
{
    const Faults& f = TheFaults();
    return path && f.folder[0] && std::strncmp(path, f.folder, std::strlen(f.folder)) == 0;
}

bool FdInFolder(int fd)
{
    if (fd <= 2)
        return false;
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = 0;
    return InFolder(target);
}

// True when this call is the one to fail.
bool Fails(bool concerned)
{
    Faults& f = TheFaults();
    if (!f.armed.load() || !concerned)
        return false;
    return f.calls++ == f.failAt;
}

template <class F>
F Real(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    if (Fails(FdInFolder(fd))) {
        if (TheFaults().shortWrite && size > 1)
            return real(fd, data, size / 2);
        errno = EIO;
        return -1;
    }
    return real(fd, data, size);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = Real<int (*)(int)>("fdatasync");
    if (Fails(FdInFolder(fd))) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int fsync(int fd)
{
    static const auto real = Real<int (*)(int)>("fsync");
    if (Fails(FdInFolder(fd))) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int rename(const char* from, const char* to)
{
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    if (Fails(InFolder(to))) {
        errno = EIO;
        return -1;
    }
    return real(from, to);
}

class TestSettingsFaults : public QObject {
    Q_OBJECT

private slots:
    void everyFailingCallKeepsTheFileWhole_data()
    {
        QTest::addColumn<bool>("shortWrite");
        QTest::newRow("failing calls") << false;
        QTest::newRow("short writes") << true;
    }

    // Whatever call fails, the write is reported, the file holds the settings before or
    // after it (never a third state), and the next write, once the disk is back, stores
    // everything.
    void everyFailingCallKeepsTheFileWhole()
    {
        QFETCH(bool, shortWrite);
        SettingsStore store;
        store.Open(u"Corvanet"_s, u"Faults"_s, false);
        store.WriteValue(u"Forms\\Main"_s, u"Top"_s, 100, SettingsStore::KindNumber);
        store.WriteValue(u"Connections"_s, u"Last"_s, u"Provider=SQLite;Data Source=/tmp/a.db"_s, SettingsStore::KindText);
        const QString file = store.FileName();
        const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
        std::snprintf(TheFaults().folder, sizeof TheFaults().folder, "%s/", folder.constData());

        int failures = 0;
        for (int k = 0;; ++k) {
            const QByteArray before = ReadAll(file);
            const QString value = u"value %1 "_s.arg(k) + QString(200, u'x');
            Faults& f = TheFaults();
            f.calls = 0;
            f.failAt = k;
            f.shortWrite = shortWrite;
            f.armed = true;
            bool failed = false;
            try {
                store.WriteValue(u"Connections"_s, u"Last"_s, value, SettingsStore::KindText);
            } catch (const ado::AdoError& e) {
                failed = true;
                QVERIFY2(e.Description().contains(u"settings"_s), qPrintable(e.Description()));
            }
            f.armed = false;
            const bool reached = f.calls > k;
            const QByteArray after = ReadAll(file);
            if (!reached) {
                // Every call has been failed once: this write met no fault and must succeed.
                QVERIFY(!failed);
                QVERIFY(after.contains(value.toUtf8()));
                break;
            }
            ++failures;
            if (failed) {
                QVERIFY2(after == before || after.contains(value.toUtf8()), qPrintable(u"k = %1: a third state"_s.arg(k)));
            } else {
                // A fault the save did not see must not have cost anything either.
                QVERIFY2(after.contains(value.toUtf8()), qPrintable(u"k = %1: reported as saved but not saved"_s.arg(k)));
            }
            QVERIFY2(after.contains("Top=100"), qPrintable(u"k = %1: another setting lost"_s.arg(k)));
            // Once the disk is back, the next write stores its value.
            const QString next = u"next %1"_s.arg(k);
            store.WriteValue(u"Connections"_s, u"Other"_s, next, SettingsStore::KindText);
            const QByteArray healed = ReadAll(file);
            QVERIFY(healed.contains(next.toUtf8()));
            QCOMPARE(healed.contains(value.toUtf8()), after.contains(value.toUtf8()));
            QVERIFY(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden).size() == 1);
        }
        QVERIFY2(failures >= 3, qPrintable(u"only %1 calls on the settings file were seen"_s.arg(failures)));
        std::memset(TheFaults().folder, 0, sizeof TheFaults().folder);
    }

    // The store reads what it has just written, however quickly the writes follow.
    void readsWhatWasJustWritten()
    {
        SettingsStore store;
        store.Open(u"Corvanet"_s, u"Quick"_s, false);
        for (int i = 100; i < 200; ++i) {
            store.WriteValue(u"Forms\\Main"_s, u"Top"_s, i, SettingsStore::KindNumber);
            QCOMPARE(store.ReadValue(u"Forms\\Main"_s, u"Top"_s, -1).toInt(), i);
        }
        SettingsStore other;
        other.Open(u"Corvanet"_s, u"Quick"_s, false);
        QCOMPARE(other.ReadValue(u"Forms\\Main"_s, u"Top"_s, -1).toInt(), 199);
    }

private:
    static QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

DABRIX_TEST_MAIN(TestSettingsFaults)
#include "tst_settingsfaults.moc"
