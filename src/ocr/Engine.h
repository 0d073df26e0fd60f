#pragma once
// The recognition engine: Tesseract behind one entry, in a library of its own next to the
// program (libvistoramo-ocr.so) that is loaded the first time a page is read. The program
// itself does not link Tesseract, which with Leptonica brings about forty libraries (curl,
// Kerberos, GnuTLS, libarchive, …) that would be loaded at every start.

#include "ocr/TextLayout.h"
#include "ocr/TextRecognition.h"

#include <QByteArray>
#include <QList>

namespace ocr {

inline constexpr const char *EngineFileName = "libvistoramo-ocr.so";
inline constexpr const char *EngineEntry = "vistoramo_read_page";

enum class EngineOutcome : int { Read = 0, NoLanguageData = 1, Failed = 2, Cancelled = 3 };

// Reads the straight page (8-bit grey) at dpi; the boxes found are divided by scale and
// carried back onto the picture through page.back. languages as "deu+eng", dataDir where
// their .traineddata lie (the system's bytes). control may be null.
using ReadPageFunction
    = EngineOutcome (*)(const StraightPage &page, double dpi, double scale, const QByteArray &dataDir,
                        const QByteArray &languages, RecognitionControl *control, QList<Paragraph> *paragraphs);

} // namespace ocr
