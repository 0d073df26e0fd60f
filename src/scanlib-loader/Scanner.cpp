#include "Scanner.h"

#include "ProgramFiles.h"
#include "Errors.h"

#include <QFile>
#include <dlfcn.h>
#include <map>
#include <string>

namespace Scanner {

namespace {

using ChooseSourceFn = void (*)(std::uintptr_t);
using AcquireToFileFn = std::int16_t (*)(std::uintptr_t, const char *);

struct Entries {
    ChooseSourceFn chooseSource = nullptr;
    AcquireToFileFn acquireToFile = nullptr;
};

// Loaded once per path and kept for the life of the process: its dialogs and its SANE
// session live in it.
const Entries &library()
{
    static std::map<std::string, Entries> loaded;
    const std::string path = QFile::encodeName(Programmpfad() + QLatin1String(libraryFileName)).toStdString();
    if (auto it = loaded.find(path); it != loaded.end())
        return it->second;

    void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = ::dlerror();
        rt::raise(rt::ErrorCode::CantLoadLibrary,
                  QStringLiteral("Scanner-Bibliothek kann nicht geladen werden: %1")
                      .arg(QString::fromLocal8Bit(why ? why : path.c_str())));
    }
    Entries entries;
    entries.chooseSource = reinterpret_cast<ChooseSourceFn>(::dlsym(handle, "ChooseSource"));
    entries.acquireToFile = reinterpret_cast<AcquireToFileFn>(::dlsym(handle, "AcquireToFile"));
    if (!entries.chooseSource || !entries.acquireToFile) {
        ::dlclose(handle);
        rt::raise(rt::ErrorCode::CantLoadLibrary,
                  QStringLiteral("Scanner-Bibliothek ohne ChooseSource/AcquireToFile: %1")
                      .arg(QString::fromStdString(path)));
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
    const QByteArray encoded = QFile::encodeName(path);
    return library().acquireToFile(static_cast<std::uintptr_t>(owner), encoded.constData());
}

} // namespace Scanner
