#pragma once
// The system's error numbers (errno) as German sentences for the user: the messages of the C
// library are English and say nothing the user can act on, and Qt's file classes lose the
// number behind "Unknown error". QtCore only, so that the scanner library can use it too.

#include <QString>

namespace rt {

// A German sentence, ending in a full stop, for errnum: for the numbers a desktop program
// meets a sentence of its own, for any other one "Systemfehler N.".
QString systemErrorText(int errnum);

} // namespace rt
