#include "TestMain.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

namespace testsupport {

namespace {
QTemporaryDir* g_root = nullptr;
}

void PrepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/dabrix-test-XXXXXX"));
    const QString config = g_root->filePath(QStringLiteral("config"));
    const QString tmp = g_root->filePath(QStringLiteral("tmp"));
    QDir().mkpath(config);
    QDir().mkpath(tmp);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("TMPDIR", tmp.toLocal8Bit());
    qputenv("LC_ALL", "C.UTF-8");
}

void PrepareApplication(QApplication& app)
{
    app.setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

QString FixturePath(const QString& relative)
{
    // The sample files live beside the project (../shared); DABRIX_FIXTURES points elsewhere.
    const QString root = qEnvironmentVariableIsEmpty("DABRIX_FIXTURES") ? QStringLiteral(DABRIX_FIXTURES_DIR)
                                                                       : qEnvironmentVariable("DABRIX_FIXTURES");
    return root + u'/' + relative;
}

} // namespace testsupport
