#pragma once

#include <QHash>
#include <QString>

#include <memory>

class QuaZip;

namespace ado {

// The zip package of an .xlsx file: its parts and the relationships between them.
// Every failure is an AdoError naming the file.
class XlsxPackage {
public:
    struct Relationship {
        QString type;   // the full relationship type URI
        QString target; // the part it points to, from the package root
    };

    explicit XlsxPackage(const QString& file);
    ~XlsxPackage();

    const QString& File() const { return m_file; }
    bool Has(const QString& part) const;
    QByteArray Read(const QString& part) const;
    // The relationships of a part, by id; "" for the package's own.
    QHash<QString, Relationship> Relationships(const QString& part) const;
    // The target of a relationship of a part whose type ends with typeSuffix, or "".
    QString TargetOfType(const QString& part, const QString& typeSuffix) const;

    // Throws the package's failure with the given reason.
    [[noreturn]] void Fail(const QString& reason) const;

private:
    QString m_file;
    std::unique_ptr<QuaZip> m_zip;
};

} // namespace ado
