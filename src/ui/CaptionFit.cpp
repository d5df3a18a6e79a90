#include "ui/CaptionFit.h"

#include <QLineEdit>
#include <QWidget>
#include <algorithm>

namespace ui {

void CaptionFit::Grow(QWidget& control)
{
    const QSize hint = control.sizeHint();
    QRect r = control.geometry();
    // A text box's hint asks for room for some seventeen letters whatever it holds: only
    // its height is a need.
    const bool caption = !qobject_cast<QLineEdit*>(&control);
    if (caption && hint.width() > r.width())
        r.setWidth(hint.width());
    if (hint.height() > r.height()) {
        const int centre = r.center().y();
        r.setHeight(hint.height());
        r.moveTop(std::max(0, centre - hint.height() / 2));
    }
    control.setGeometry(r);
}

void CaptionFit::Line(const QList<QWidget*>& controls, int gapPixels)
{
    int right = -1;
    for (QWidget* control : controls) {
        Grow(*control);
        if (right >= 0 && control->x() < right + gapPixels)
            control->move(right + gapPixels, control->y());
        right = control->geometry().right() + 1;
    }
    if (controls.isEmpty())
        return;
    QWidget* parent = controls.last()->parentWidget();
    if (parent && parent->width() < right)
        parent->resize(right, parent->height());
    int bottom = 0;
    for (QWidget* control : controls)
        bottom = std::max(bottom, control->geometry().bottom() + 1);
    if (parent && parent->height() < bottom)
        parent->resize(parent->width(), bottom);
}

} // namespace ui
