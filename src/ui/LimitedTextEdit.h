#pragma once

#include <QPlainTextEdit>

// A multi-line text box that takes at most MaxLength characters from the user (typing,
// pasting, input methods). Text set by the program is shown whole, however long.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextEdit(QWidget* parent = nullptr);

    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int maxLength) { m_maxLength = maxLength; }
    int Length() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // How many characters the user may still add in place of the selection.
    int Room() const;

    int m_maxLength = 0;
};
