#include "runtime/ProgramFiles.h"

#include "base/Paths.h"
#include "runtime/System.h"

#include <QFile>
#include <sys/stat.h>

QString withTrailingSeparator(const QString &dir)
{
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

QString Programmpfad()
{
    return withTrailingSeparator(rt::programDirectory());
}

bool DateiVorhanden(const QString &path)
{
    if (path.isEmpty())
        return false;
    // The entry itself counts, so a link is there even where its target is not.
    struct stat st { };
    return ::lstat(rt::encodePath(path).constData(), &st) == 0;
}
