#include "ui/AppIcons.h"

namespace ui {

QString AppIcons::ThemeName(Id id)
{
    switch (id) {
    case Id::Application: return QStringLiteral("com.corvanet.Dabrix");
    case Id::Open: return QStringLiteral("document-open");
    case Id::AppendFrom: return QStringLiteral("list-add");
    case Id::Execute: return QStringLiteral("media-playback-start");
    case Id::Requery: return QStringLiteral("view-refresh");
    case Id::Export: return QStringLiteral("document-save-as");
    case Id::CloseDatabase: return QStringLiteral("window-close");
    case Id::Quit: return QStringLiteral("application-exit");
    case Id::Images: return QStringLiteral("image-x-generic");
    case Id::Scripts: return QStringLiteral("text-x-script");
    case Id::SqlCommand: return QStringLiteral("utilities-terminal");
    }
    return QString();
}

QString AppIcons::FallbackPath(Id id)
{
    return QStringLiteral(":/icons/%1.svg").arg(ThemeName(id));
}

QIcon AppIcons::Get(Id id)
{
    return QIcon::fromTheme(ThemeName(id), QIcon(FallbackPath(id)));
}

} // namespace ui
