// The reference for the start-up figures: a minimal Qt Widgets program, one window with three
// buttons. bench_xstart times it from the X server's side and ends it.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Referenz"));
    window.resize(559, 407);
    for (int i = 0; i < 3; ++i)
        (new QPushButton(QStringLiteral("Knopf %1").arg(i + 1), &window))->setGeometry(3 + 75 * i, 3, 73, 25);
    window.show();
    return QApplication::exec();
}
