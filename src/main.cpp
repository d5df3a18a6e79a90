#include "app/MDabrix.h"
#include "app/QtTranslations.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QtTranslations::Install();
    MDabrix::Main();
    // Main returns without a window when the user cancelled or the open failed.
    if (QApplication::topLevelWidgets().isEmpty())
        return 0;
    bool anyVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        anyVisible = anyVisible || w->isVisible();
    return anyVisible ? app.exec() : 0;
}
