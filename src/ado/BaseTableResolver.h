#pragma once

#include "ado/RecordStore.h"

namespace ado {

class Backend;

// Works out where the edits of a recordset go: the one base table its source reads, which
// result columns are plain columns of it, and how a row is found again (primary key, else
// the backend's row id, else every original value). Sources with no single base table
// are marked read-only with the reason.
class BaseTableResolver {
public:
    static void Resolve(RecordStore& store, const QString& source, Backend& backend);
};

} // namespace ado
