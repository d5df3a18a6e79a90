#include "ui/FramedLayout.h"

#include "ui/Twips.h"

#include <QWidget>

namespace ui {

void FramedLayout::Apply(QWidget& form, QWidget& toolbar, double toolbarHeightTwips, QWidget& frame, QWidget& inner)
{
    using Twips::FromPixels;
    using Twips::ToPixels;
    const double W = FromPixels(form.width());
    const double H = FromPixels(form.height());
    const auto setWidth = [](QWidget& control, double twips) {
        if (twips >= 0)
            control.resize(ToPixels(twips), control.height());
    };
    const auto setHeight = [](QWidget& control, double twips) {
        if (twips >= 0)
            control.resize(control.width(), ToPixels(twips));
    };
    toolbar.setGeometry(0, 0, form.width(), ToPixels(toolbarHeightTwips));
    setWidth(frame, W - 2 * FromPixels(frame.x()));
    setWidth(inner, FromPixels(frame.width()) - 2 * FromPixels(inner.x()));
    setHeight(frame, H - FromPixels(frame.y()) - FromPixels(frame.x()));
    setHeight(inner, FromPixels(frame.height()) - FromPixels(inner.y()) - FromPixels(inner.x()));
}

} // namespace ui
