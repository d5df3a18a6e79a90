#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace ui {

// The loaded windows of the program, each with its "Tag" property, in load order.
class FormsRegistry {
public:
    static void Register(QWidget* form);
    static void Unregister(QWidget* form);
    static QList<QWidget*> Forms();
    static QString Tag(const QWidget* form);
};

} // namespace ui
