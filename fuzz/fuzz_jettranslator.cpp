// libFuzzer target for the Jet SQL tokenizer and translator: any text must tokenize into
// tokens that cover it exactly, in order, and translate for each dialect without crashing.
#include "ado/AdoError.h"
#include "ado/JetTranslator.h"
#include "ado/SqlDialect.h"
#include "ado/SqlTokenizer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString covered;
    for (const ado::SqlToken& token : ado::SqlTokenizer::Tokenize(sql))
        covered += token.text;
    if (covered != sql)
        std::abort();
    ado::SqlDialect standard;
    ado::SqlDialect brackets;
    brackets.openQuote = u'[';
    brackets.closeQuote = u']';
    brackets.translateBrackets = false;
    brackets.translateTop = false;
    for (const ado::SqlDialect& dialect : {standard, brackets}) {
        try {
            (void)ado::JetTranslator::Translate(sql, dialect);
        } catch (const ado::AdoError&) {
        }
    }
    return 0;
}
