#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <type_traits>

class QWidget;

namespace testsupport {

// Answers the modal dialogs that the code under test opens, one answer per dialog in
// order. Each answer receives the active modal widget; what it saw is kept for checks.
// An answer may name the dialog it is for (object name or class): it then waits for that
// dialog, so a window that becomes active between two dialogs never takes it.
class ModalAnswerer : public QObject {
public:
    class Answer {
    public:
        template <typename F>
            requires(!std::is_same_v<std::decay_t<F>, Answer>)
        Answer(F f) : m_fn(std::move(f)) {}
        Answer(QString expected, std::function<void(QWidget*)> fn) : m_fn(std::move(fn)), m_expected(std::move(expected)) {}
        void operator()(QWidget* w) const { m_fn(w); }
        bool IsFor(const QWidget* w) const;
        const QString& Expected() const { return m_expected; }

    private:
        std::function<void(QWidget*)> m_fn;
        QString m_expected;
    };

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
    // The same answer, given only to the dialog with that object name or class.
    static Answer For(const QString& objectNameOrClass, Answer answer);

private:
    void poll();

    QList<Answer> m_answers;
    int m_answered = 0;
    QSet<QWidget*> m_inAnswer; // dialogs whose answer has not returned yet
    QStringList m_titles;
    QStringList m_texts;
    QTimer m_timer;
};

} // namespace testsupport
