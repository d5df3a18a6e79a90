#pragma once

#include <QString>

class QWidget;
class SettingsStore;

// Saves and restores where a window was. Keys of the section: "Left", "Top", "Width" and
// "Height" in twips (the window's geometry without its frame: on screen for a top-level
// window, in the MDI area for a child window) and "WindowState" (0 normal, 1 minimised,
// 2 maximised). A window whose parent is a QMdiSubWindow is placed through that subwindow.
class FormPlacement {
public:
    static FormPlacement& Instance();

    void SavePlacement(SettingsStore& store, QWidget& window, const QString& section);
    // Nothing saved yet leaves the window as it is. A minimised window comes back normal,
    // and a rectangle entirely outside the screens (or the MDI area) is moved back inside.
    void RestorePlacement(SettingsStore& store, QWidget& window, const QString& section);

private:
    FormPlacement() = default;
};
