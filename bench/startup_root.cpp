// The program's own start, as main() makes it, for the start-up figures: bench_xstart times it
// from the X server's side and ends it.
#include "runtime/Translations.h"
#include "ui/Root.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistoramo"));
    QApplication::setDesktopFileName(QStringLiteral("vistoramo"));
    rt::installGermanQtTexts();
    Root root;
    root.show();
    return QApplication::exec();
}
