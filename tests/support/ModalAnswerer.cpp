#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace testsupport {

ModalAnswerer::ModalAnswerer(QList<Answer> answers) : m_answers(std::move(answers))
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

ModalAnswerer::~ModalAnswerer()
{
    if (!done())
        qWarning("ModalAnswerer: %d of %d dialogs answered", m_answered, int(m_answers.size()));
}

void ModalAnswerer::poll()
{
    if (done())
        return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || m_inAnswer.contains(modal) || !modal->isVisible())
        return;
    const Answer& next = m_answers.at(m_answered);
    if (!next.IsFor(modal))
        return;
    m_titles << modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        m_texts << box->text();
    else if (auto* input = qobject_cast<QInputDialog*>(modal))
        m_texts << input->labelText();
    else
        m_texts << QString();
    const Answer answer = m_answers.at(m_answered++);
    // Answer outside this slot: an answer that opens another modal dialog runs a nested
    // event loop in which polling must go on. Until the answer has returned, its dialog
    // is not answered again however long it stays up; once it has, a dialog still shown
    // takes the next answer.
    m_inAnswer.insert(modal);
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [this, answer, target, modal] {
        if (target)
            answer(target);
        m_inAnswer.remove(modal);
    });
}

bool ModalAnswerer::Answer::IsFor(const QWidget* w) const
{
    return m_expected.isEmpty() || w->objectName() == m_expected || w->inherits(m_expected.toLatin1().constData());
}

ModalAnswerer::Answer ModalAnswerer::For(const QString& objectNameOrClass, Answer answer)
{
    return Answer(objectNameOrClass, [answer](QWidget* w) { answer(w); });
}

ModalAnswerer::Answer ModalAnswerer::Accept()
{
    return [](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (QAbstractButton* b = box->defaultButton() ? box->defaultButton() : box->buttons().value(0))
                b->click();
            return;
        }
        if (auto* d = qobject_cast<QDialog*>(w))
            d->accept();
    };
}

ModalAnswerer::Answer ModalAnswerer::Reject()
{
    return [](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
    };
}

ModalAnswerer::Answer ModalAnswerer::Button(const QString& name)
{
    return [name](QWidget* w) {
        for (auto* b : w->findChildren<QAbstractButton*>()) {
            if (b->objectName() == name || b->text() == name) {
                b->click();
                return;
            }
        }
        qWarning("ModalAnswerer: no button %s", qPrintable(name));
    };
}

ModalAnswerer::Answer ModalAnswerer::InputText(const QString& text)
{
    return [text](QWidget* w) {
        if (auto* input = qobject_cast<QInputDialog*>(w)) {
            input->setTextValue(text);
            input->accept();
        }
    };
}

} // namespace testsupport
