#include "Root.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistoramo"));
    QApplication::setDesktopFileName(QStringLiteral("vistoramo"));
    Root root;
    root.Show();
    return QApplication::exec();
}
