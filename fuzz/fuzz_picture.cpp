// libFuzzer target: the picture loader (plain BMP reader, and Qt's readers for BMP, JPEG
// and GIF) on arbitrary bytes. Anything but a clean picture or a run-time error is a fault.

#include "base/Errors.h"
#include "runtime/PictureLoader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    rt::setPictureAllocationLimitMB(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        const rt::Picture picture = rt::loadPicture(buffer, QStringLiteral("fuzz"));
        if (picture.isEmpty())
            __builtin_trap(); // a picture that loads is never empty
    } catch (const rt::RuntimeError &) {
    }
    return 0;
}
