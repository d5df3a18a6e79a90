#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace ui {

// The fixed sentences that open a failure report.
namespace Sentence {
inline const QString OperatorAction = QStringLiteral("Une erreur s'est produite au cours d'une action de l'opérateur");
inline const QString WindowLoading = QStringLiteral("Une erreur s'est produite au cours du chargement de la fenêtre");
inline const QString DialogLoad = QStringLiteral("Une erreur s'est produite au chargement de la fenêtre");
inline const QString DialogueLoading = QStringLiteral("Une erreur s'est produite au cours du chargement du dialogue");
inline const QString Operation = QStringLiteral("Une erreur s'est produite au cours de l'opération");
} // namespace Sentence

// Every event handler reports what it caught through this one class, so the text is
// always: sentence, LF, LF, number, " - ", description.
class FailureReport {
public:
    static QString Text(const QString& sentence, long number, const QString& description);

    // Number and description of any exception (ours keep theirs; others are "unspecified").
    static void Describe(std::exception_ptr failure, long& number, QString& description);

    // Modal exclamation box with an OK button; restores the normal cursor first.
    static void Show(QWidget* parent, const QString& title, const QString& sentence,
                     std::exception_ptr failure);

    // Runs action; on a failure shows the report and returns false.
    static bool Guard(QWidget* parent, const QString& title, const QString& sentence,
                      const std::function<void()>& action);
};

} // namespace ui
