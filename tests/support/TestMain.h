#pragma once

#include <QApplication>
#include <QTest>

namespace testsupport {

// Hermetic start for every test program: temporary XDG config and TMPDIR folders,
// a fixed locale, and windows that do not end the application when they close.
void PrepareEnvironment();
void PrepareApplication(QApplication& app);

// Path of a real sample file under the shared fixtures folder.
QString FixturePath(const QString& relative);

} // namespace testsupport

#define DABRIX_TEST_MAIN(TestObject)                      \
    int main(int argc, char** argv)                       \
    {                                                     \
        testsupport::PrepareEnvironment();                \
        QApplication app(argc, argv);                     \
        testsupport::PrepareApplication(app);             \
        TestObject tc;                                    \
        QTEST_SET_MAIN_SOURCE_PATH                        \
        return QTest::qExec(&tc, argc, argv);             \
    }
