#include "ado/fileengine/dbase/DbfCodePage.h"

#include "ado/AdoError.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace ado {

QByteArray DbfCodePage::NameForDriver(quint8 driver)
{
    switch (driver) {
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18: case 0x19: case 0x1B:
        return "IBM437";
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A: case 0x1D: case 0x25: case 0x37:
        return "IBM850";
    case 0x03: case 0x57: case 0x58: case 0x59:
        return "windows-1252";
    case 0x04: return "macintosh";
    case 0x08: case 0x17: case 0x66: return "IBM865";
    case 0x13: case 0x7B: return "Shift_JIS";
    case 0x1C: case 0x6C: return "IBM863";
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87: return "IBM852";
    case 0x24: return "IBM860";
    case 0x26: case 0x65: return "IBM866";
    case 0x4D: case 0x7A: return "GBK";
    case 0x4E: case 0x79: return "EUC-KR";
    case 0x4F: case 0x78: return "Big5";
    case 0x50: case 0x7C: return "windows-874";
    case 0x67: return "IBM861";
    case 0x6A: case 0x86: return "IBM737";
    case 0x6B: case 0x88: return "IBM857";
    case 0x7D: return "windows-1255";
    case 0x7E: return "windows-1256";
    case 0x96: return "x-mac-cyrillic";
    case 0x97: return "x-mac-centraleurroman";
    case 0x98: return "x-mac-greek";
    case 0xC8: return "windows-1250";
    case 0xC9: return "windows-1251";
    case 0xCA: return "windows-1254";
    case 0xCB: return "windows-1253";
    case 0xCC: return "windows-1257";
    // Mazovia (0x69) and Kamenicky (0x68) have no converter: closest DOS page.
    case 0x68: return "IBM852";
    case 0x69: return "IBM437";
    default: return {};
    }
}

QByteArray DbfCodePage::NameForCpg(const QByteArray& content)
{
    QByteArray text = content.trimmed().toUpper();
    if (text.startsWith("ANSI "))
        text = text.mid(5);
    if (text.startsWith("CP"))
        text = text.mid(2);
    if (text == "UTF-8" || text == "UTF8" || text == "65001")
        return "UTF-8";
    if (text == "88591" || text == "8859_1" || text == "ISO-8859-1" || text == "LATIN1")
        return "ISO-8859-1";
    if (text.startsWith("8859")) // 88592 ... 885915
        return "ISO-8859-" + text.mid(4).replace('_', "");
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok)
        return content.trimmed();
    if (number >= 1250 && number <= 1258)
        return "windows-" + QByteArray::number(number);
    if (number == 874)
        return "windows-874";
    if (number == 932)
        return "Shift_JIS";
    if (number == 936)
        return "GBK";
    if (number == 949)
        return "EUC-KR";
    if (number == 950)
        return "Big5";
    return "IBM" + QByteArray::number(number);
}

QByteArray DbfCodePage::Guess(const QByteArray& sample)
{
    bool highBit = false;
    for (char c : sample)
        highBit = highBit || (uchar(c) & 0x80);
    if (!highBit)
        return "windows-1252";
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(sample);
    // A sample cut inside a character is not a sign against UTF-8.
    return utf8.hasError() ? "windows-1252" : "UTF-8";
}

bool DbfCodePage::IsValid() const
{
    return QStringDecoder(m_name.constData()).isValid();
}

QString DbfCodePage::Decode(const QByteArray& bytes) const
{
    if (m_name == "windows-1252" || m_name == "UTF-8") {
        bool ascii = true;
        for (char c : bytes)
            ascii = ascii && !(uchar(c) & 0x80);
        if (ascii)
            return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder(m_name.constData());
    return decoder.decode(bytes);
}

QByteArray DbfCodePage::Encode(const QString& text, const QString& field) const
{
    QStringEncoder encoder(m_name.constData(), QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    // Converters may substitute silently: a value must read back as written.
    if (encoder.hasError() || Decode(bytes) != text)
        throw AdoError(err::Unspecified, QStringLiteral("The value for the field '%1' has characters that the table's "
                                                        "code page (%2) cannot store.")
                                             .arg(field, QString::fromLatin1(m_name)));
    return bytes;
}

} // namespace ado
