#include "scanlib-loader/Scanner.h"

#include "base/Errors.h"
#include "base/Paths.h"
#include "runtime/ProgramFiles.h"
#include "scanlib-loader/LibraryFile.h"

#include "scanlib/api/VistoramoScan.h"

#include <QFile>
#include <dlfcn.h>
#include <map>
#include <string>

namespace Scanner {

namespace {

struct Entries {
    ChooseSourceFunction chooseSource = nullptr;
    AcquireToFileFunction acquireToFile = nullptr;
};

// Loaded once per path and kept for the life of the process: its dialogs and its SANE
// session live in it.
const Entries &library()
{
    static std::map<std::string, Entries> loaded;
    const std::string path = rt::encodePath(Programmpfad() + QLatin1String(libraryFileName)).toStdString();
    if (auto it = loaded.find(path); it != loaded.end())
        return it->second;

    checkLibraryFile(QByteArray::fromStdString(path));
    void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = ::dlerror();
        cannotLoad(QByteArray::fromStdString(path), QString::fromLocal8Bit(why ? why : "unbekannter Fehler"));
    }
    Entries entries;
    entries.chooseSource = reinterpret_cast<ChooseSourceFunction>(::dlsym(handle, "ChooseSource"));
    entries.acquireToFile = reinterpret_cast<AcquireToFileFunction>(::dlsym(handle, "AcquireToFile"));
    if (!entries.chooseSource || !entries.acquireToFile) {
        ::dlclose(handle);
        cannotLoad(QByteArray::fromStdString(path), QStringLiteral("ChooseSource oder AcquireToFile fehlt"));
    }
    return loaded.emplace(path, entries).first->second;
}

} // namespace

void ChooseSource(WId owner)
{
    library().chooseSource(static_cast<std::uintptr_t>(owner));
}

std::int16_t AcquireToFile(WId owner, const QString &path)
{
    const QByteArray encoded = rt::encodePath(path);
    return library().acquireToFile(static_cast<std::uintptr_t>(owner), encoded.constData());
}

} // namespace Scanner
