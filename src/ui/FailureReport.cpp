#include "ui/FailureReport.h"

#include "ado/AdoError.h"
#include "ui/BusyCursor.h"

#include <QMessageBox>
#include <QPointer>

namespace ui {

QString FailureReport::Text(const QString& sentence, long number, const QString& description)
{
    return sentence + QStringLiteral("\n\n") + QString::number(number) + QStringLiteral(" - ") + description;
}

void FailureReport::Describe(std::exception_ptr failure, long& number, QString& description)
{
    try {
        std::rethrow_exception(failure);
    } catch (const ado::AdoError& e) {
        number = e.Number();
        description = e.Description();
    } catch (const std::bad_alloc&) {
        number = 7;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        number = ado::err::Unspecified;
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        number = ado::err::Unspecified;
        description = QStringLiteral("Unspecified error");
    }
}

void FailureReport::Show(QWidget* parent, const QString& title, const QString& sentence,
                         std::exception_ptr failure)
{
    long number = 0;
    QString description;
    Describe(failure, number, description);
    BusyCursor::RestoreAll();
    // Not on the stack: should the parent be destroyed while the box runs, the box goes
    // with it and must not be destroyed a second time here.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, title, Text(sentence, number, description),
                                                QMessageBox::Ok, parent);
    box->exec();
    delete box;
}

bool FailureReport::Guard(QWidget* parent, const QString& title, const QString& sentence,
                          const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (...) {
        Show(parent, title, sentence, std::current_exception());
        return false;
    }
}

} // namespace ui
