#pragma once
// The screen, message boxes, the event pump and the program's directory.

#include <QString>

namespace img {
class Picture;
}

class QWidget;

namespace rt {

enum class MousePointer { Default, Hourglass };

// The screen's size in twips.
float screenWidth();
float screenHeight();

// The mouse pointer for the whole program.
MousePointer mousePointer();
void setMousePointer(MousePointer pointer);

// The hourglass for the whole program while it lives, the default pointer afterwards on
// every way out.
class HourglassPointer {
public:
    HourglassPointer() { setMousePointer(MousePointer::Hourglass); }
    ~HourglassPointer() { setMousePointer(MousePointer::Default); }
    HourglassPointer(const HourglassPointer &) = delete;
    HourglassPointer &operator=(const HourglassPointer &) = delete;
};

// An information message box with one OK button; waits for OK.
void showInformation(QWidget *owner, const QString &text, const QString &title);

// Lets the events that are pending run, once.
void doEvents();

// Deletes a file; a "path/file access" run-time error when it cannot.
void deleteFile(const QString &path);

// Puts the picture on the system clipboard as a bitmap; an empty picture puts nothing there.
void setClipboardPicture(const img::Picture &picture);
// Whether the clipboard now holds our picture, offered as a bitmap.
bool clipboardHasBitmap();

// The directory that holds the program's executable, as the system reports it.
QString programDirectory();
// Tests run the window in a directory of their own.
void setProgramDirectoryForTesting(const QString &dir);

} // namespace rt
