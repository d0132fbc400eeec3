#pragma once

class QTranslator;

// Installs Qt's own Japanese texts (standard buttons, file dialogs, edit field menus) whatever the locale, since
// every other text of the program is Japanese. Returns the translator, owned by the application, or nullptr when
// the translation is not installed (Qt's texts then stay English).
QTranslator* installQtTranslation();
