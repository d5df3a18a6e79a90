#include "app/InputValidator.h"

InputValidator& InputValidator::Instance()
{
    static InputValidator instance;
    return instance;
}

bool InputValidator::IsWholeNumber(const QString& text) const
{
    qsizetype i = 0;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-'))
        ++i;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i) {
        // Only ASCII digits: other scripts' digits would not convert to a number later.
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    return true;
}
