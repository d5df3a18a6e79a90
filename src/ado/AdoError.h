#pragma once

#include <QString>
#include <exception>

namespace ado {

// The one failure type of the program: a number (ADO/VB numbering where one fits)
// and a description, plus the statement that failed when there is one.
class AdoError : public std::exception {
public:
    AdoError(long number, QString description, QString sql = {});

    long Number() const { return m_number; }
    const QString& Description() const { return m_description; }
    const QString& Sql() const { return m_sql; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    long m_number;
    QString m_description;
    QString m_sql;
    QByteArray m_what;
};

// Numbers used across the layer.
namespace err {
constexpr long TypeMismatch = 13;
constexpr long Overflow = 6;
constexpr long FileNotFound = 53;
constexpr long PathNotFound = 76;
constexpr long ItemNotFound = 3265;
constexpr long ObjectClosed = 3704;
constexpr long ObjectOpen = 3705;
constexpr long ProviderNotFound = 3706;
constexpr long NotSupported = 3251;
constexpr long BofOrEof = 3021;
constexpr long TableNotFound = -2147217865;
constexpr long SyntaxError = -2147217900;
constexpr long RowNotFound = -2147217864;
constexpr long Unspecified = -2147467259;
} // namespace err

} // namespace ado
