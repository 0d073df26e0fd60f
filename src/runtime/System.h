#pragma once
// The screen, message boxes, the event pump and the program's directory.

#include <QString>

class QWidget;

namespace rt {

enum MousePointer { Default = 0, Hourglass = 11 };

class ScreenObject {
public:
    float Width() const;
    float Height() const;
    int MousePointer() const;
    // Program-wide: 0 the default pointer, 11 the hourglass.
    void setMousePointer(int pointer) const;
};

inline const ScreenObject Screen;

// An information message box with one OK button; waits for OK.
void MsgBoxInfo(QWidget *owner, const QString &text, const QString &title);

// Lets the events that are pending run, once.
void DoEvents();

// Deletes a file; a "path/file access" run-time error when it cannot.
void Kill(const QString &path);

// The system clipboard.
class ClipboardObject {
public:
    // Puts the picture on the clipboard as a bitmap; an empty picture puts nothing there.
    void SetPicture(const class Picture &picture) const;
    // Whether the clipboard now holds our picture, offered as a bitmap.
    bool HasBitmap() const;
};

inline const ClipboardObject Clipboard;

// The directory that holds the program's executable, as the system reports it.
QString programDirectory();
// Tests run the window in a directory of their own.
void setProgramDirectoryForTesting(const QString &dir);

} // namespace rt
