#pragma once
// Helpers shared by the unit and widget tests.

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

// A program directory of the test's own; the window's code sees it as its program directory
// for as long as the object lives.
class ProgramDir {
public:
    ProgramDir();
    ~ProgramDir();
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const;
    void writeImage(const QString &name, const QImage &image, const char *format) const;

private:
    QTemporaryDir dir_;
};

// A picture of the given size whose pixels tell where they are.
QImage patternImage(int width, int height);

// A GIF of the picture in a 3-3-2 palette (Qt writes no GIF). frames > 1 repeats it.
QByteArray gifBytes(const QImage &image, int frames = 1);

// Records each message box that appears while it lives and answers it with OK.
struct ShownMessage {
    QString title;
    QString text;
    bool information = false;
    int buttons = 0;
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    const std::vector<ShownMessage> &shown() const { return shown_; }

private:
    std::vector<ShownMessage> shown_;
    class QTimer *timer_;
};
