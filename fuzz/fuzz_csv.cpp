// libFuzzer target for the delimited-text reader: any bytes, under a separator, quote and
// character set picked by the first byte, must read without crashing; every record read
// must also come back unchanged through the writer.
#include "ado/AdoError.h"
#include "ado/fileengine/text/CsvReader.h"
#include "ado/fileengine/text/CsvWriter.h"
#include "ado/fileengine/text/TextTypeGuesser.h"
#include "ado/fileengine/text/TextValueCodec.h"

#include <QBuffer>

#include <cstdlib>

namespace {

QStringList ReadBack(const QString& line, QChar delimiter, QChar quote)
{
    // With a mark of its own, a field that starts with U+FEFF is not taken for one.
    QByteArray bytes = "\xEF\xBB\xBF" + line.toUtf8();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ado::CsvReader reader(&buffer, "UTF-8", delimiter, quote, QStringLiteral("round trip"));
    QStringList fields;
    if (!reader.Next(fields))
        fields = {QString()};
    QStringList more;
    if (reader.Next(more))
        abort(); // one written record read back as two
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const QChar delimiters[] = {u',', u';', u'\t', u'|'};
    static const char* codecs[] = {"UTF-8", "windows-1252", "UTF-16LE", "IBM850"};
    const uint8_t mode = data[0];
    const QChar delimiter = delimiters[mode & 3];
    const QChar quote = (mode & 4) ? QChar() : QChar(u'"');
    const char* codec = codecs[(mode >> 3) & 3];
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        ado::CsvReader reader(&buffer, codec, delimiter, quote, QStringLiteral("fuzz.csv"));
        ado::TextTypeGuesser guesser(u'.');
        const ado::CsvWriter writer(delimiter, quote);
        const ado::TextValueCodec values(u'.');
        QStringList fields;
        QList<bool> quoted;
        while (reader.Next(fields, &quoted)) {
            guesser.Add(fields);
            QList<QVariant> out;
            for (const QString& f : fields)
                out.append(f);
            for (int c = 0; c < fields.size(); ++c)
                values.Parse(fields[c], quoted[c], guesser.Column(c));
            if (quote.isNull())
                continue;
            const QString line = writer.FormatLine(out);
            // Lone surrogates from a broken UTF-16 input have no UTF-8 form to round-trip through.
            if (line.isEmpty() || !line.isValidUtf16())
                continue;
            if (ReadBack(line, delimiter, quote) != fields)
                abort();
        }
        for (int c = 0; c < guesser.ColumnCount(); ++c)
            (void)guesser.Column(c).DeclaredType();
    } catch (const ado::AdoError&) {
    }
    return 0;
}
