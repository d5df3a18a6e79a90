#pragma once

#include <QString>

// Checks on text typed by the user.
class InputValidator {
public:
    static InputValidator& Instance();

    // True for an optional "+" or "-" followed by one or more ASCII digits; leading zeros
    // are allowed ("007"). Empty text, a sign alone and any blank (leading, trailing or
    // inside) give false: callers trim first. No range is checked; the caller converts.
    bool IsWholeNumber(const QString& text) const;

private:
    InputValidator() = default;
};
