#include "runtime/ClipboardHandOff.h"
#include "runtime/Plugins.h"
#include "runtime/Translations.h"
#include "ui/Root.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    rt::keepPluginsOutOfProgramDirectory();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistoramo"));
    QApplication::setDesktopFileName(QStringLiteral("vistoramo"));
    rt::installGermanQtTexts();
    Root root;
    root.show();
    const int code = QApplication::exec();
    rt::handClipboardToManager();
    return code;
}
