#include "app/FormPlacement.h"

#include "app/SettingsStore.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QWidget>

namespace {

enum WindowStateCode { StateNormal = 0, StateMinimized = 1, StateMaximized = 2 };

// The widget that actually moves: an MDI child's subwindow frame, else the window itself.
QWidget& PlacedWidget(QWidget& window)
{
    if (qobject_cast<QMdiSubWindow*>(&window))
        return window;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window.parentWidget()))
        return *sub;
    return window;
}

// The rectangles a window must stay reachable in; empty when there is nothing to check against.
QList<QRect> ReachableAreas(const QWidget& placed)
{
    if (auto* sub = qobject_cast<const QMdiSubWindow*>(&placed)) {
        QMdiArea* area = sub->mdiArea();
        if (area && !area->viewport()->rect().isEmpty())
            return {area->viewport()->rect()};
        return {};
    }
    QList<QRect> areas;
    for (QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

QRect KeptReachable(const QRect& saved, const QWidget& placed)
{
    const QList<QRect> areas = ReachableAreas(placed);
    if (areas.isEmpty())
        return saved;
    for (const QRect& area : areas)
        if (area.intersects(saved))
            return saved;
    const QRect area = areas.first();
    QRect r = saved;
    r.setSize(r.size().boundedTo(area.size()));
    r.moveLeft(qBound(area.left(), r.left(), area.right() - r.width() + 1));
    r.moveTop(qBound(area.top(), r.top(), area.bottom() - r.height() + 1));
    return r;
}

bool ReadNumber(SettingsStore& store, const QString& section, const QString& key, int& value)
{
    bool ok = false;
    value = store.ReadValue(section, key, QVariant()).toInt(&ok);
    return ok;
}

} // namespace

FormPlacement& FormPlacement::Instance()
{
    static FormPlacement instance;
    return instance;
}

void FormPlacement::SavePlacement(SettingsStore& store, QWidget& window, const QString& section)
{
    QWidget& placed = PlacedWidget(window);
    int state = StateNormal;
    if (placed.isMinimized())
        state = StateMinimized;
    else if (placed.isMaximized())
        state = StateMaximized;

    // A maximised top-level window remembers the size it returns to; a subwindow has no such
    // public size, so its maximised geometry is what is kept.
    QRect r = placed.geometry();
    if (placed.isWindow() && state != StateNormal && placed.normalGeometry().isValid())
        r = placed.normalGeometry();

    using ui::Twips::FromPixels;
    store.WriteValue(section, QStringLiteral("Left"), qRound(FromPixels(r.left())), SettingsStore::KindNumber);
    store.WriteValue(section, QStringLiteral("Top"), qRound(FromPixels(r.top())), SettingsStore::KindNumber);
    store.WriteValue(section, QStringLiteral("Width"), qRound(FromPixels(r.width())), SettingsStore::KindNumber);
    store.WriteValue(section, QStringLiteral("Height"), qRound(FromPixels(r.height())), SettingsStore::KindNumber);
    store.WriteValue(section, QStringLiteral("WindowState"), state, SettingsStore::KindNumber);
}

void FormPlacement::RestorePlacement(SettingsStore& store, QWidget& window, const QString& section)
{
    int left = 0, top = 0, width = 0, height = 0, state = StateNormal;
    if (!ReadNumber(store, section, QStringLiteral("Left"), left)
        || !ReadNumber(store, section, QStringLiteral("Top"), top)
        || !ReadNumber(store, section, QStringLiteral("Width"), width)
        || !ReadNumber(store, section, QStringLiteral("Height"), height))
        return;
    if (width <= 0 || height <= 0)
        return;
    ReadNumber(store, section, QStringLiteral("WindowState"), state);

    using ui::Twips::ToPixels;
    QWidget& placed = PlacedWidget(window);
    const QRect saved(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));

    placed.setWindowState(placed.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    placed.setGeometry(KeptReachable(saved, placed));
    if (state == StateMaximized)
        placed.setWindowState(placed.windowState() | Qt::WindowMaximized);
}
