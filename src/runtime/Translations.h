#pragma once
// Qt's own texts (scroll bar menus, standard buttons, file dialogs) in German, whatever the
// user's locale: the window speaks German throughout.

namespace rt {

// Installs Qt's German catalogue into the application, once. False when the catalogue is
// not on this machine; the texts then stay as Qt has them built in.
bool installGermanQtTexts();

} // namespace rt
