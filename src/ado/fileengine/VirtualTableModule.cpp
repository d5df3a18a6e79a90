#include "ado/fileengine/VirtualTableModule.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/SqliteResultSink.h"

#include <sqlite3.h>

namespace ado {

namespace {

using OpenTables = VirtualTableModule::OpenTables;

struct ModuleContext {
    FileFormat* format;
    std::optional<AdoError>* lastError;
    VirtualTableModule::OpenTables* openTables;
};

struct FileVtab : sqlite3_vtab {
    ModuleContext* context = nullptr;
    sqlite3* db = nullptr;
    std::unique_ptr<FileTable> table;
    QString key; // in context->openTables
    int columnCount = 0;
};

struct FileVtabCursor : sqlite3_vtab_cursor {
    std::unique_ptr<FileTableCursor> rows;
    bool eof = true;
};

// Turns any exception into SQLITE_ERROR with its message, keeping our own failure for
// the backend so that its number survives the trip through SQLite.
template <class F>
int Guard(sqlite3_vtab* vtab, ModuleContext* context, char** errorOut, F&& action)
{
    QString message;
    try {
        return action();
    } catch (const AdoError& e) {
        message = e.Description();
        if (context && context->lastError)
            *context->lastError = e;
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    }
    char* text = sqlite3_mprintf("%s", message.toUtf8().constData());
    if (errorOut) {
        sqlite3_free(*errorOut);
        *errorOut = text;
    } else if (vtab) {
        sqlite3_free(vtab->zErrMsg);
        vtab->zErrMsg = text;
    } else {
        sqlite3_free(text);
    }
    return SQLITE_ERROR;
}

QString QuoteColumn(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error)
{
    auto* context = static_cast<ModuleContext*>(aux);
    return Guard(nullptr, context, error, [&] {
        if (argc < 3)
            throw AdoError(err::Unspecified, QStringLiteral("dabrix_file needs a table name"));
        const QString name = QString::fromUtf8(argv[2]);
        auto vtab = std::make_unique<FileVtab>();
        vtab->context = context;
        vtab->db = db;
        vtab->table = context->format->OpenTable(name);
        const QVector<FileColumn> columns = vtab->table->Columns();
        QStringList parts;
        for (const FileColumn& c : columns)
            parts << QuoteColumn(c.name) + u' ' + (c.declaredType.isEmpty() ? QStringLiteral("TEXT") : c.declaredType);
        if (parts.isEmpty())
            throw AdoError(err::Unspecified, QStringLiteral("The table '%1' has no columns.").arg(name));
        const QByteArray schema = (QStringLiteral("CREATE TABLE x(") + parts.join(QStringLiteral(", ")) + u')').toUtf8();
        const int rc = sqlite3_declare_vtab(db, schema.constData());
        if (rc != SQLITE_OK)
            throw AdoError(err::Unspecified, QStringLiteral("The table '%1' has columns SQLite cannot declare: %2")
                                                 .arg(name, QString::fromUtf8(sqlite3_errmsg(db))));
        vtab->columnCount = int(columns.size());
        vtab->key = name.toLower();
        if (context->openTables)
            context->openTables->insert(vtab->key, vtab->table.get());
        *out = vtab.release();
        return SQLITE_OK;
    });
}

int Disconnect(sqlite3_vtab* base)
{
    auto* vtab = static_cast<FileVtab*>(base);
    if (OpenTables* open = vtab->context->openTables) {
        const auto it = open->constFind(vtab->key);
        if (it != open->constEnd() && it.value() == vtab->table.get())
            open->erase(it);
    }
    delete vtab;
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab*, sqlite3_index_info* info)
{
    info->idxNum = 0;
    info->estimatedCost = 1e9;
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = new FileVtabCursor();
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor)
{
    delete static_cast<FileVtabCursor*>(cursor);
    return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**)
{
    auto* cursor = static_cast<FileVtabCursor*>(base);
    auto* vtab = static_cast<FileVtab*>(base->pVtab);
    return Guard(vtab, vtab->context, nullptr, [&] {
        cursor->rows = vtab->table->Scan();
        cursor->eof = !cursor->rows->Next();
        return SQLITE_OK;
    });
}

int Next(sqlite3_vtab_cursor* base)
{
    auto* cursor = static_cast<FileVtabCursor*>(base);
    auto* vtab = static_cast<FileVtab*>(base->pVtab);
    return Guard(vtab, vtab->context, nullptr, [&] {
        cursor->eof = !cursor->rows->Next();
        return SQLITE_OK;
    });
}

int Eof(sqlite3_vtab_cursor* base)
{
    return static_cast<FileVtabCursor*>(base)->eof ? 1 : 0;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column)
{
    auto* cursor = static_cast<FileVtabCursor*>(base);
    auto* vtab = static_cast<FileVtab*>(base->pVtab);
    return Guard(vtab, vtab->context, nullptr, [&] {
        SqliteResultSink sink(ctx);
        cursor->rows->Put(column, sink);
        return SQLITE_OK;
    });
}

int RowId(sqlite3_vtab_cursor* base, sqlite3_int64* out)
{
    *out = static_cast<FileVtabCursor*>(base)->rows->RowId();
    return SQLITE_OK;
}

QVariant ToVariant(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return sqlite3_value_double(value);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value));
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
    default:
        return {};
    }
}

int Update(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowIdOut)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        if (argc == 1) {
            vtab->table->Delete(sqlite3_value_int64(argv[0]));
            return SQLITE_OK;
        }
        QVector<QVariant> values;
        values.reserve(argc - 2);
        for (int i = 2; i < argc; ++i)
            values.append(ToVariant(argv[i]));
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            *rowIdOut = vtab->table->Insert(values);
            return SQLITE_OK;
        }
        const qint64 rowId = sqlite3_value_int64(argv[0]);
        if (sqlite3_value_type(argv[1]) != SQLITE_NULL && sqlite3_value_int64(argv[1]) != rowId)
            throw AdoError(err::Unspecified, QStringLiteral("The record number of a row cannot be changed."));
        vtab->table->Update(rowId, values);
        return SQLITE_OK;
    });
}

// xBegin: a table that cannot undo its changes takes no part in a transaction of the
// connection, so it refuses to be changed inside one rather than let RollbackTrans lie.
int Begin(sqlite3_vtab* base)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        if (vtab->table->CanUndo())
            vtab->table->Begin();
        else if (!sqlite3_get_autocommit(vtab->db))
            throw AdoError(err::NotSupported, QStringLiteral("Operation is not supported by the provider. "
                                                             "This table cannot undo its changes inside a transaction."));
        return SQLITE_OK;
    });
}

// xSync: a failure here makes SQLite roll the transaction back.
int Sync(sqlite3_vtab* base)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        vtab->table->Sync();
        return SQLITE_OK;
    });
}

int Commit(sqlite3_vtab* base)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        vtab->table->Commit();
        return SQLITE_OK;
    });
}

// SQLite does not pass on what xRollback returns: a failure to undo is added to the
// failure being reported, or becomes it, so that the backend can still say it.
template <class F>
int GuardUndo(FileVtab* vtab, F&& undo)
{
    try {
        undo();
        return SQLITE_OK;
    } catch (const AdoError& e) {
        std::optional<AdoError>& last = *vtab->context->lastError;
        if (last) {
            const AdoError cause = *last;
            last = AdoError(cause.Number(), cause.Description() + QStringLiteral(" The changes made before it could not be undone: ")
                                                + e.Description());
        } else {
            last = AdoError(e.Number(), QStringLiteral("The changes could not be undone: ") + e.Description());
        }
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    return SQLITE_ERROR;
}

int Rollback(sqlite3_vtab* base)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return GuardUndo(vtab, [&] { vtab->table->Rollback(); });
}

// Savepoints: n counts from 0 for the outermost; SQLite opens one around each statement
// inside a transaction of the connection, so that a failed statement changes nothing.
int Savepoint(sqlite3_vtab* base, int n)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        vtab->table->Savepoint(n);
        return SQLITE_OK;
    });
}

int Release(sqlite3_vtab* base, int n)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return Guard(vtab, vtab->context, nullptr, [&] {
        vtab->table->Release(n);
        return SQLITE_OK;
    });
}

int RollbackTo(sqlite3_vtab* base, int n)
{
    auto* vtab = static_cast<FileVtab*>(base);
    return GuardUndo(vtab, [&] { vtab->table->RollbackTo(n); });
}

sqlite3_module MakeModule()
{
    sqlite3_module m{};
    m.iVersion = 2;
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = RowId;
    m.xUpdate = Update;
    m.xBegin = Begin;
    m.xSync = Sync;
    m.xCommit = Commit;
    m.xRollback = Rollback;
    m.xSavepoint = Savepoint;
    m.xRelease = Release;
    m.xRollbackTo = RollbackTo;
    return m;
}

const sqlite3_module g_module = MakeModule();

} // namespace

void VirtualTableModule::Register(sqlite3* db, FileFormat* format, std::optional<AdoError>* lastError, OpenTables* openTables)
{
    auto* context = new ModuleContext{format, lastError, openTables};
    const int rc = sqlite3_create_module_v2(db, Name(), &g_module, context,
                                            [](void* p) { delete static_cast<ModuleContext*>(p); });
    if (rc != SQLITE_OK)
        throw AdoError(err::Unspecified, QStringLiteral("Cannot register the file module: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
}

} // namespace ado
