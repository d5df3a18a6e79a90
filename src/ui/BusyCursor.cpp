#include "ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace ui {

namespace {
int g_depth = 0;
}

BusyCursor::BusyCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ++g_depth;
}

BusyCursor::~BusyCursor()
{
    if (g_depth > 0) {
        QGuiApplication::restoreOverrideCursor();
        --g_depth;
    }
}

void BusyCursor::RestoreAll()
{
    while (g_depth > 0) {
        QGuiApplication::restoreOverrideCursor();
        --g_depth;
    }
}

} // namespace ui
