#pragma once

#include <QByteArray>
#include <array>
#include <memory>
#include <string>

namespace ado {

// The UTF-8 of each of the 256 bytes of a single-byte code page, as its decoder gives
// them, so that text goes from a record to UTF-8 without a QString between.
class DbfUtf8Table {
public:
    // Null when the page is not one character per byte, whatever the bytes around it.
    // Built once per page for the whole program.
    static std::shared_ptr<const DbfUtf8Table> For(const QByteArray& codePage);

    // True when every byte below 0x80 stands for itself.
    bool AsciiIsIdentity() const { return m_asciiIdentity; }
    // Appends the UTF-8 of size bytes to out.
    void Append(const char* bytes, qsizetype size, std::string& out) const;

private:
    DbfUtf8Table() = default;
    static std::shared_ptr<const DbfUtf8Table> Make(const QByteArray& codePage);

    struct Entry {
        char utf8[3];
        unsigned char size;
    };
    std::array<Entry, 256> m_entries{};
    bool m_asciiIdentity = false;
};

} // namespace ado
