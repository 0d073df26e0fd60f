#include "runtime/Plugins.h"

#include "runtime/System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace rt {

void keepPluginsOutOfProgramDirectory()
{
    // Qt adds the program's directory to its search path when the application object is made,
    // and then replays the changes made before: a path that was in the list and was taken out
    // stays out. So the directory is put into the list first, through QT_PLUGIN_PATH, and
    // taken out again; the variable is restored at once.
    const QString dir = QDir(programDirectory()).canonicalPath();
    if (dir.isEmpty())
        return;
    const bool had = qEnvironmentVariableIsSet("QT_PLUGIN_PATH");
    const QByteArray old = qgetenv("QT_PLUGIN_PATH");
    qputenv("QT_PLUGIN_PATH", QFile::encodeName(dir) + (old.isEmpty() ? QByteArray() : ":" + old));
    QStringList paths = QCoreApplication::libraryPaths();
    had ? qputenv("QT_PLUGIN_PATH", old) : qunsetenv("QT_PLUGIN_PATH");
    paths.removeAll(dir);
    QCoreApplication::setLibraryPaths(paths);
}

} // namespace rt
