#include "ui/FormsRegistry.h"

namespace ui {

namespace {
QList<QPointer<QWidget>>& forms()
{
    static QList<QPointer<QWidget>> list;
    return list;
}
} // namespace

void FormsRegistry::Register(QWidget* form)
{
    if (form && !forms().contains(form))
        forms().append(form);
}

void FormsRegistry::Unregister(QWidget* form)
{
    forms().removeAll(form);
}

QList<QWidget*> FormsRegistry::Forms()
{
    QList<QWidget*> live;
    for (const QPointer<QWidget>& f : forms())
        if (f)
            live.append(f.data());
    return live;
}

QString FormsRegistry::Tag(const QWidget* form)
{
    return form ? form->property("Tag").toString() : QString();
}

} // namespace ui
