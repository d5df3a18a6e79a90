#include "app/CommandLine.h"
#include "app/MDabrix.h"
#include "app/QtTranslations.h"

#include <QApplication>
#include <QWidget>

namespace {

void NameTheApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("dabrix"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(DABRIX_VERSION_MAJOR).arg(DABRIX_VERSION_MINOR).arg(DABRIX_VERSION_PATCH));
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    {
        // --help, --version and wrong arguments are answered without a display.
        QCoreApplication probe(argc, argv);
        NameTheApplication();
        QtTranslations::Install();
        line = CommandLine::Parse(QCoreApplication::arguments());
    }
    QApplication app(argc, argv);
    NameTheApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("com.corvanet.Dabrix"));
    QtTranslations::Install();
    MDabrix::PendingSource = line.Source();
    MDabrix::PendingTextFileType = line.TextFileType();
    MDabrix::Main();
    // Main returns without a window when the user cancelled or the open failed.
    if (QApplication::topLevelWidgets().isEmpty())
        return 0;
    bool anyVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        anyVisible = anyVisible || w->isVisible();
    return anyVisible ? app.exec() : 0;
}
