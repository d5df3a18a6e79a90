#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

namespace testsupport {

// Answers the modal dialogs that the code under test opens, one answer per dialog in
// order. Each answer receives the active modal widget; what it saw is kept for checks.
class ModalAnswerer : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalAnswerer(QList<Answer> answers);
    explicit ModalAnswerer(Answer answer) : ModalAnswerer(QList<Answer>{std::move(answer)}) {}
    ~ModalAnswerer() override;

    int answered() const { return m_answered; }
    bool done() const { return m_answered == m_answers.size(); }
    const QStringList& titles() const { return m_titles; }
    const QStringList& texts() const { return m_texts; }

    // Common answers.
    static Answer Accept();        // presses the default button or accepts the dialog
    static Answer Reject();
    static Answer Button(const QString& objectNameOrText);
    static Answer InputText(const QString& text); // QInputDialog: set text, accept

private:
    void poll();

    QList<Answer> m_answers;
    int m_answered = 0;
    QWidget* m_last = nullptr;
    QStringList m_titles;
    QStringList m_texts;
    QTimer m_timer;
};

} // namespace testsupport
