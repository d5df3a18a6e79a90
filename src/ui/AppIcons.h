#pragma once

#include <QIcon>
#include <QString>

namespace ui {

// The pictures of the toolbars and menus: the desktop theme's icon where the theme has one,
// so that Dabrix looks like its neighbours, else the scalable one bundled with the program.
class AppIcons {
public:
    enum class Id {
        Application,
        Open,
        AppendFrom,
        Execute,
        Requery,
        Export,
        CloseDatabase,
        Quit,
        Images,
        Scripts,
        SqlCommand,
    };

    static QIcon Get(Id id);
    // The freedesktop.org name looked up in the theme.
    static QString ThemeName(Id id);
    // The bundled picture, a Qt resource path.
    static QString FallbackPath(Id id);
};

} // namespace ui
