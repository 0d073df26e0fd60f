#pragma once
// Module Scanner: the two entries of the scanner library that the program calls. The
// library is loaded from the program's directory on first use; a library that cannot be
// loaded, or that lacks an entry, is a "cannot load library" run-time error.

#include "scanlib/api/VistoramoScan.h"

#include <QString>
#include <QWidget>
#include <cstdint>

namespace Scanner {

// File name of the scanner library in the program's directory.
inline constexpr const char *libraryFileName = VISTORAMO_SCAN_LIBRARY;

// Shows the source dialog, modal and owned by the given window.
void ChooseSource(WId owner);

// Acquires one image into a BMP file at path; 0 when the image was acquired and written.
std::int16_t AcquireToFile(WId owner, const QString &path);

} // namespace Scanner
