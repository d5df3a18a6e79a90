#pragma once

#include <QList>

class QWidget;

namespace ui {

// Hand-placed controls keep their design geometry unless our fonts need more room than the
// design's did: then a control grows to its size hint (height about its centre; a text box
// only in height), and the controls that follow it on the same line move right so that
// none covers the next.
class CaptionFit {
public:
    static void Grow(QWidget& control);
    // Grows each control of a left-to-right line and keeps at least gapPixels between them;
    // the parent widens to hold the last one.
    static void Line(const QList<QWidget*>& controls, int gapPixels);
};

} // namespace ui
