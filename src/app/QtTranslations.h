#pragma once

// Qt's own texts (the buttons of message boxes, the file dialog, the context menus of
// text boxes) in French, as every caption of the program is.
class QtTranslations {
public:
    // Loads qtbase_fr from Qt's translations folder into the running application, once per
    // application object;
    // false when the file cannot be found, and Qt then speaks English.
    static bool Install();
};
