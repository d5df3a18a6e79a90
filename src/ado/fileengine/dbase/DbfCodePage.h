#pragma once

#include <QByteArray>
#include <QString>

namespace ado {

// The character set of a DBF's text: from a .cpg file beside it, else from the
// language-driver byte, else guessed (UTF-8 when the bytes are valid UTF-8, else
// windows-1252). Encoding refuses characters the code page cannot hold.
class DbfCodePage {
public:
    DbfCodePage() = default;
    explicit DbfCodePage(QByteArray name) : m_name(std::move(name)) {}

    // The converter name (ICU) for a language-driver byte; empty when unknown or unmarked.
    static QByteArray NameForDriver(quint8 driver);
    // The name written in a .cpg file ("UTF-8", "1252", "CP1251", "ANSI 1251", "88591"...).
    static QByteArray NameForCpg(const QByteArray& content);
    // What to use when nothing is marked, from a sample of the file's text bytes.
    static QByteArray Guess(const QByteArray& sample);

    const QByteArray& Name() const { return m_name; }
    bool IsValid() const;
    QString Decode(const QByteArray& bytes) const;
    // Throws AdoError (naming the field) when a character cannot be stored.
    QByteArray Encode(const QString& text, const QString& field) const;

private:
    QByteArray m_name = "windows-1252";
};

} // namespace ado
