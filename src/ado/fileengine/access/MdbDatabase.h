#pragma once

// mdbtools.h includes glib inside extern "C", which glib's C++ parts do not survive.
#include <glib.h>
#include <mdbtools.h>

#include <QList>
#include <QString>
#include <memory>

namespace ado {

struct MdbHandleCloser {
    void operator()(MdbHandle* mdb) const;
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleCloser>;

// An Access database (.mdb, .accdb) opened read-only through libmdb, its catalogue read.
// Only AccessReader's child process opens one: libmdb can crash or allocate without
// bound on a damaged file. No SQL and no UI here.
class MdbDatabase {
public:
    struct Table {
        QString name;
        bool system = false;
    };

    // Throws AdoError when the file is missing, not an Access database or damaged.
    explicit MdbDatabase(const QString& path);

    const QString& Path() const { return m_path; }
    QList<Table> Tables() const { return m_tables; }
    // Jet OLEDB:Engine Type: 4 for Jet 3, 5 for Jet 4, 6 for ACE.
    int EngineType() const;
    qint64 PageCount() const { return m_pageCount; }

    // A handle of its own for one reader: libmdb buffers the current page per handle,
    // so two scans of the same file must not share one.
    MdbHandlePtr Clone() const;

    // The failure for a file that libmdb cannot make sense of.
    static QString DamagedMessage(const QString& path);

private:
    bool CatalogueComplete() const;

    QString m_path;
    MdbHandlePtr m_handle;
    QList<Table> m_tables;
    qint64 m_pageCount = 0;
};

} // namespace ado
