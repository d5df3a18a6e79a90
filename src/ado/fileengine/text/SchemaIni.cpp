#include "ado/fileengine/text/SchemaIni.h"

#include "ado/AdoError.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace ado {

namespace {

constexpr qint64 MaxSchemaSize = 16 * 1024 * 1024;

[[noreturn]] void Refuse(const QString& file, const QString& entry, const QString& why)
{
    throw AdoError(err::Unspecified, QStringLiteral("Schema.ini, section [%1], entry '%2': %3").arg(file, entry, why));
}

bool ParseBool(const QString& value, bool* ok)
{
    const QString v = value.trimmed().toLower();
    *ok = true;
    if (v == u"true" || v == u"yes" || v == u"1" || v == u"-1")
        return true;
    if (v == u"false" || v == u"no" || v == u"0")
        return false;
    *ok = false;
    return false;
}

// Jet's names for the column types, with the ODBC synonyms it accepts (Integer is Short there).
bool KindFromName(const QString& name, TextColumnKind* kind)
{
    static const QHash<QString, TextColumnKind> kinds = {
        {QStringLiteral("text"), TextColumnKind::Text},       {QStringLiteral("char"), TextColumnKind::Text},
        {QStringLiteral("memo"), TextColumnKind::Memo},       {QStringLiteral("longchar"), TextColumnKind::Memo},
        {QStringLiteral("bit"), TextColumnKind::Bit},         {QStringLiteral("byte"), TextColumnKind::Byte},
        {QStringLiteral("short"), TextColumnKind::Short},     {QStringLiteral("integer"), TextColumnKind::Short},
        {QStringLiteral("long"), TextColumnKind::Long},       {QStringLiteral("currency"), TextColumnKind::Currency},
        {QStringLiteral("single"), TextColumnKind::Single},   {QStringLiteral("double"), TextColumnKind::Double},
        {QStringLiteral("float"), TextColumnKind::Double},    {QStringLiteral("datetime"), TextColumnKind::DateTime},
        {QStringLiteral("date"), TextColumnKind::DateTime},
    };
    const auto it = kinds.constFind(name.toLower());
    if (it == kinds.constEnd())
        return false;
    *kind = *it;
    return true;
}

// "ID Long", "\"Last Name\" Text Width 20", "Notes Memo".
TextColumn ParseColumn(const QString& file, const QString& key, const QString& value)
{
    QString rest = value.trimmed();
    TextColumn column;
    if (rest.startsWith(u'"')) {
        const qsizetype close = rest.indexOf(u'"', 1);
        if (close < 0)
            Refuse(file, key, QStringLiteral("the column name has no closing quote."));
        column.name = rest.mid(1, close - 1);
        rest = rest.mid(close + 1).trimmed();
    } else {
        const qsizetype space = rest.indexOf(QRegularExpression(QStringLiteral("\\s")));
        column.name = space < 0 ? rest : rest.left(space);
        rest = space < 0 ? QString() : rest.mid(space).trimmed();
    }
    if (column.name.trimmed().isEmpty())
        Refuse(file, key, QStringLiteral("the column has no name."));
    const QStringList words = rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return column;
    if (!KindFromName(words[0], &column.kind))
        Refuse(file, key, QStringLiteral("unknown column type '%1'.").arg(words[0]));
    for (qsizetype i = 1; i + 1 < words.size(); i += 2) {
        if (words[i].compare(QStringLiteral("Width"), Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const int width = words[i + 1].toInt(&ok);
        if (!ok || width <= 0)
            Refuse(file, key, QStringLiteral("the width '%1' is not a positive number.").arg(words[i + 1]));
        if (column.kind == TextColumnKind::Text && width > 255) {
            column.kind = TextColumnKind::Memo; // Jet's Text stops at 255
        } else if (column.kind == TextColumnKind::Text) {
            column.width = width;
            column.fixedWidth = true;
        }
    }
    return column;
}

QChar ParseFormat(const QString& file, const QString& key, const QString& value)
{
    const QString v = value.trimmed();
    if (v.compare(QStringLiteral("CSVDelimited"), Qt::CaseInsensitive) == 0)
        return u',';
    if (v.compare(QStringLiteral("TabDelimited"), Qt::CaseInsensitive) == 0)
        return u'\t';
    if (v.startsWith(QStringLiteral("Delimited("), Qt::CaseInsensitive) && v.endsWith(u')') && v.size() == 12) {
        const QChar c = v.at(10);
        if (c == u'"' || c == u'\r' || c == u'\n')
            Refuse(file, key, QStringLiteral("'%1' cannot separate fields.").arg(c));
        return c;
    }
    if (v.compare(QStringLiteral("FixedLength"), Qt::CaseInsensitive) == 0)
        Refuse(file, key, QStringLiteral("fixed-length files are not available here; only delimited files are."));
    Refuse(file, key, QStringLiteral("unknown format '%1'.").arg(v));
}

QString DecodeSchema(const QByteArray& bytes)
{
    // Written in the single-byte code page; a UTF-8 file (with or without mark) is read as such.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    return ansi.decode(bytes);
}

} // namespace

SchemaIni SchemaIni::Load(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (name.compare(QStringLiteral("Schema.ini"), Qt::CaseInsensitive) != 0)
            continue;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            throw AdoError(err::Unspecified, QStringLiteral("Cannot read '%1': %2").arg(file.fileName(), file.errorString()));
        if (file.size() > MaxSchemaSize)
            throw AdoError(err::Unspecified, QStringLiteral("'%1' is too large to be a Schema.ini.").arg(file.fileName()));
        return Parse(DecodeSchema(file.readAll()));
    }
    return {};
}

SchemaIni SchemaIni::Parse(const QString& text)
{
    SchemaIni ini;
    Section* current = nullptr;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            ini.m_sections.append({line.mid(1, line.size() - 2).trimmed(), {}});
            current = &ini.m_sections.last();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!current || eq <= 0)
            continue; // Jet ignores what it does not understand
        current->entries.append({line.left(eq).trimmed(), line.mid(eq + 1)});
    }
    return ini;
}

QStringList SchemaIni::FileNames() const
{
    QStringList names;
    for (const Section& s : m_sections)
        names << s.name;
    return names;
}

bool SchemaIni::HasSection(const QString& fileName) const
{
    return Find(fileName) != nullptr;
}

const SchemaIni::Section* SchemaIni::Find(const QString& fileName) const
{
    // A later section of the same name wins, as a later key would.
    for (qsizetype i = m_sections.size() - 1; i >= 0; --i)
        if (m_sections[i].name.compare(fileName, Qt::CaseInsensitive) == 0)
            return &m_sections[i];
    return nullptr;
}

TextFileLayout SchemaIni::LayoutFor(const QString& fileName) const
{
    TextFileLayout layout;
    const Section* section = Find(fileName);
    if (!section)
        return layout;
    layout.hasSection = true;
    static const QRegularExpression colKey(QStringLiteral("^col(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    for (const auto& [key, rawValue] : section->entries) {
        const QString value = rawValue.trimmed();
        const QString k = key.toLower();
        bool ok = true;
        if (k == u"format") {
            layout.delimiter = ParseFormat(section->name, key, value);
        } else if (k == u"colnameheader") {
            layout.columnNamesInFirstLine = ParseBool(value, &ok);
            if (!ok)
                Refuse(section->name, key, QStringLiteral("'%1' is neither True nor False.").arg(value));
        } else if (k == u"maxscanrows") {
            layout.maxScanRows = value.toInt(&ok);
            if (!ok || layout.maxScanRows < 0)
                Refuse(section->name, key, QStringLiteral("'%1' is not a row count.").arg(value));
        } else if (k == u"decimalsymbol") {
            if (value.size() != 1)
                Refuse(section->name, key, QStringLiteral("the decimal symbol must be one character."));
            layout.decimalSymbol = value.at(0);
        } else if (k == u"characterset") {
            layout.codec = CodecFor(value);
            if (layout.codec.isEmpty())
                Refuse(section->name, key, QStringLiteral("unknown character set '%1'.").arg(value));
        } else if (k == u"textdelimiter") {
            if (value.compare(QStringLiteral("none"), Qt::CaseInsensitive) == 0)
                layout.textDelimiter = QChar();
            else if (value.size() == 1)
                layout.textDelimiter = value.at(0);
            else
                Refuse(section->name, key, QStringLiteral("the text delimiter must be one character or none."));
        } else if (const auto match = colKey.match(key); match.hasMatch()) {
            const int number = match.captured(1).toInt(&ok);
            if (!ok || number < 1 || number > 4096)
                Refuse(section->name, key, QStringLiteral("column numbers run from 1 to 4096."));
            layout.definedColumns.insert(number - 1, ParseColumn(section->name, key, value));
        }
    }
    if (!layout.textDelimiter.isNull() && layout.textDelimiter == layout.delimiter)
        Refuse(section->name, QStringLiteral("TextDelimiter"), QStringLiteral("it is also the field separator."));
    return layout;
}

QByteArray SchemaIni::CodecFor(const QString& characterSet)
{
    const QString v = characterSet.trimmed().toUpper();
    if (v == u"ANSI")
        return "windows-1252";
    if (v == u"OEM")
        return "IBM850";
    if (v == u"UNICODE")
        return "UTF-16LE";
    if (v == u"UTF-8" || v == u"UTF8")
        return "UTF-8";
    bool ok = false;
    const int page = v.toInt(&ok);
    QByteArray name;
    if (!ok) {
        name = v.toLatin1();
    } else if (page == 65001) {
        name = "UTF-8";
    } else if (page == 1200) {
        name = "UTF-16LE";
    } else if (page == 1201) {
        name = "UTF-16BE";
    } else if (page == 20127) {
        name = "US-ASCII";
    } else if (page >= 28591 && page <= 28605) {
        name = "ISO-8859-" + QByteArray::number(page - 28590);
    } else if (page >= 1250 && page <= 1258 || page == 874) {
        name = "windows-" + QByteArray::number(page);
    } else {
        name = "IBM" + QByteArray::number(page);
    }
    return QStringDecoder(name.constData()).isValid() ? name : QByteArray();
}

} // namespace ado
