#include "ado/fileengine/dbase/DbfUtf8Table.h"

#include <QHash>
#include <QMutex>
#include <QStringDecoder>

namespace ado {

namespace {

// Pages with shift states or several bytes per character, whatever their bytes look like alone.
bool IsMultiByteName(const QByteArray& name)
{
    const QByteArray n = name.toUpper();
    for (const char* part : {"UTF", "2022", "HZ", "SHIFT", "SJIS", "GB", "EUC", "BIG5", "KSC", "932", "936", "949", "950"}) {
        if (n.contains(part))
            return true;
    }
    return false;
}

// Every byte alone, then every high byte followed by every byte: a page that joins bytes
// into one character gives fewer characters than bytes somewhere in there.
QByteArray Probe()
{
    QByteArray probe;
    probe.reserve(256 + 128 * 256 * 2);
    for (int b = 0; b < 256; ++b)
        probe.append(char(b));
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int b = 0; b < 256; ++b) {
            probe.append(char(lead));
            probe.append(char(b));
        }
    }
    return probe;
}

} // namespace

std::shared_ptr<const DbfUtf8Table> DbfUtf8Table::For(const QByteArray& codePage)
{
    static QMutex mutex;
    static QHash<QByteArray, std::shared_ptr<const DbfUtf8Table>> cache;
    const QMutexLocker lock(&mutex);
    if (const auto found = cache.constFind(codePage); found != cache.constEnd())
        return *found;
    std::shared_ptr<const DbfUtf8Table> table = Make(codePage);
    cache.insert(codePage, table);
    return table;
}

std::shared_ptr<const DbfUtf8Table> DbfUtf8Table::Make(const QByteArray& codePage)
{
    QStringDecoder decoder(codePage.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid() || IsMultiByteName(codePage))
        return {};
    std::array<char16_t, 256> chars{};
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString one = decoder.decode(QByteArrayView(&byte, 1));
        if (one.size() != 1 || one[0].isSurrogate())
            return {};
        chars[b] = one[0].unicode();
    }
    const QByteArray probe = Probe();
    const QString whole = QStringDecoder(codePage.constData()).decode(probe);
    if (whole.size() != probe.size())
        return {};
    for (qsizetype i = 0; i < probe.size(); ++i) {
        if (whole[i].unicode() != chars[static_cast<unsigned char>(probe[i])])
            return {};
    }
    auto table = std::shared_ptr<DbfUtf8Table>(new DbfUtf8Table());
    bool ascii = true;
    for (int b = 0; b < 256; ++b) {
        const char16_t c = chars[b];
        Entry& e = table->m_entries[b];
        if (c < 0x80) {
            e.utf8[0] = char(c);
            e.size = 1;
        } else if (c < 0x800) {
            e.utf8[0] = char(0xC0 | (c >> 6));
            e.utf8[1] = char(0x80 | (c & 0x3F));
            e.size = 2;
        } else {
            e.utf8[0] = char(0xE0 | (c >> 12));
            e.utf8[1] = char(0x80 | ((c >> 6) & 0x3F));
            e.utf8[2] = char(0x80 | (c & 0x3F));
            e.size = 3;
        }
        ascii = ascii && (b >= 0x80 || c == b);
    }
    table->m_asciiIdentity = ascii;
    return table;
}

void DbfUtf8Table::Append(const char* bytes, qsizetype size, std::string& out) const
{
    const size_t start = out.size();
    out.resize(start + size_t(size) * 3);
    char* o = out.data() + start;
    for (qsizetype i = 0; i < size; ++i) {
        const Entry& e = m_entries[static_cast<unsigned char>(bytes[i])];
        o[0] = e.utf8[0];
        o[1] = e.utf8[1];
        o[2] = e.utf8[2];
        o += e.size;
    }
    out.resize(size_t(o - out.data()));
}

} // namespace ado
