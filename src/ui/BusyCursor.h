#pragma once

namespace ui {

// The screen-wide hourglass for the life of the object.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    // Drops every override cursor, so a failure report shows the normal pointer.
    static void RestoreAll();

};

} // namespace ui
