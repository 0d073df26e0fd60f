#pragma once
// The German words the dialogs show for an option: titles, descriptions and list entries of
// our own for the options most scanners share (mode, resolution, source, scan area, …),
// whose wording in the backends' catalogue is clumsy or missing, and the catalogue's for
// all others.

#include "scanlib/wire/ScanTypes.h"

#include <QByteArray>
#include <QString>

namespace scanlib {

// The option's title; its name when the backend gives no title.
QString optionTitle(const OptionInfo &option);
// What the option does, as the backend's description may have it with markup.
QString optionDescription(const OptionInfo &option);
// An entry of the option's string list.
QString optionEntry(const OptionInfo &option, const QByteArray &entry);

} // namespace scanlib
