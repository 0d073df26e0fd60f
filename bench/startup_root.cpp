// The program's own start, as main() makes it, with a probe at the first paint.
#include "Root.h"
#include "startup_probe.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistoramo"));
    Root root;
    FirstPaintProbe probe;
    root.clientWidget()->installEventFilter(&probe);
    root.show();
    return QApplication::exec();
}
