#include "ui/LimitedTextEdit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <algorithm>

LimitedTextEdit::LimitedTextEdit(QWidget* parent) : QPlainTextEdit(parent) {}

int LimitedTextEdit::Length() const
{
    return document()->characterCount() - 1;
}

int LimitedTextEdit::Room() const
{
    const QTextCursor cursor = textCursor();
    return m_maxLength - (Length() - int(cursor.selectionEnd() - cursor.selectionStart()));
}

void LimitedTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_maxLength > 0 && !isReadOnly()) {
        QString typed = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            typed = QStringLiteral("\n");
        const bool inserts = !typed.isEmpty()
            && std::all_of(typed.cbegin(), typed.cend(), [](QChar c) { return c.isPrint() || c == u'\n' || c == u'\t'; })
            && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (inserts && typed.size() > Room()) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (m_maxLength <= 0 || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QString text = source->text().left(qMax(0, Room()));
    if (text.size() < source->text().size())
        QApplication::beep();
    if (!text.isEmpty())
        insertPlainText(text);
}

void LimitedTextEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (m_maxLength > 0 && event->commitString().size() > Room()) {
        QInputMethodEvent cut(event->preeditString(), event->attributes());
        cut.setCommitString(event->commitString().left(qMax(0, Room())), event->replacementStart(),
                            event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&cut);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}
