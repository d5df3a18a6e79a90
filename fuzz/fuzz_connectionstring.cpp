// libFuzzer target for the connection-string parser: any text must parse; a value written
// back with QuoteValue must parse to itself, and the pairs rejoined by Without must parse
// to the same pairs.
#include "ado/ConnectionString.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ado::ConnectionString parsed = ado::ConnectionString::Parse(text);
    for (const auto& [key, value] : parsed.Pairs()) {
        (void)parsed.Value(key);
        // Keys holding "=" or ";" cannot be written back whole; values always can.
        const QString again = ado::ConnectionString::Parse(QStringLiteral("k=") + ado::ConnectionString::QuoteValue(value)).Value(QStringLiteral("k"));
        if (again != value)
            std::abort();
    }
    const ado::ConnectionString rejoined = ado::ConnectionString::Parse(parsed.Without({}));
    if (rejoined.Pairs().size() != parsed.Pairs().size())
        std::abort();
    for (qsizetype i = 0; i < parsed.Pairs().size(); ++i) {
        if (rejoined.Pairs()[i].second != parsed.Pairs()[i].second)
            std::abort();
    }
    return 0;
}
