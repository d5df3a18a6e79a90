#include "ScreenshotTour.h"

#include <QApplication>
#include <cstdio>

// dabrix_screenshots SCENE DEMO-DATABASE OUTPUT.png: one scene a run, so each starts afresh.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dabrix"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: dabrix_screenshots chooser|main|sql|excel|managers DEMO.sqlite OUTPUT.png\n");
        return 2;
    }
    app.setQuitOnLastWindowClosed(false);
    ScreenshotTour tour(args[2], args[3]);
    return tour.Run(args[1]) ? 0 : 1;
}
