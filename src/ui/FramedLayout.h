#pragma once

class QWidget;

namespace ui {

// The resize layout shared by the table list and the SQL window: the toolbar spans the
// top, the frame fills the window keeping its left margin on every side, and the inner
// control fills the frame the same way. Each size is set on its own: one that comes out
// negative leaves that control as it was.
class FramedLayout {
public:
    static void Apply(QWidget& form, QWidget& toolbar, double toolbarHeightTwips, QWidget& frame, QWidget& inner);
};

} // namespace ui
