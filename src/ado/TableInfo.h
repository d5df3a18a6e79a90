#pragma once

#include <QString>

namespace ado {

// One entry of a catalogue: "TABLE", "VIEW", "SYSTEM TABLE", ...
struct TableInfo {
    QString Name;
    QString Type;
};

} // namespace ado
