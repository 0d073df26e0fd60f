// The system's error numbers as the user reads them: German sentences, never the C library's
// English text nor a bare "unknown error".

#include "base/SystemErrors.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

TEST(SystemErrorTexts, EveryNumberADesktopProgramMeetsReadsAsAGermanSentence)
{
    const int known[]
        = {ENOSPC, EDQUOT,    EACCES, EPERM,        EROFS,      ENOENT, ENOTDIR,   EISDIR, ENAMETOOLONG, EEXIST, EIO,
           ENOMEM, EMFILE,    ENFILE, EBUSY,        ETXTBSY,    ELOOP,  EINVAL,    EFBIG,  ENODEV,       ENXIO,  EINTR,
           EAGAIN, ETIMEDOUT, EPIPE,  ECONNREFUSED, ECONNRESET, EXDEV,  ENOTEMPTY, EBADF,  ENOSYS,       ESTALE};
    const char *english[] = {"No such", "Permission", "denied", "space", "error", "Error", "Unknown", "file", "device"};
    for (const int n : known) {
        SCOPED_TRACE(n);
        const QString text = rt::systemErrorText(n);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_TRUE(text.endsWith('.')) << text.toStdString();
        EXPECT_FALSE(text.startsWith(QStringLiteral("Systemfehler"))) << "no sentence of its own";
        EXPECT_FALSE(text.contains(QStringLiteral("Unbekannter Fehler")));
        for (const char *word : english)
            EXPECT_FALSE(text.contains(QLatin1String(word))) << text.toStdString();
    }
    EXPECT_TRUE(rt::systemErrorText(ENOSPC).startsWith(QStringLiteral("Auf dem Datenträger ist kein Platz mehr.")));
    EXPECT_NE(rt::systemErrorText(EACCES), rt::systemErrorText(EROFS));
    EXPECT_NE(rt::systemErrorText(ENOSPC), rt::systemErrorText(EDQUOT));

    // Whatever the number, the C library's English never shows; a number without a sentence
    // of its own is named.
    for (int n = 0; n < 140; ++n) {
        SCOPED_TRACE(n);
        const QString text = rt::systemErrorText(n);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_FALSE(text.contains(QString::fromLocal8Bit(std::strerror(n))));
    }
    EXPECT_EQ(rt::systemErrorText(4711), QStringLiteral("Systemfehler 4711."));
    EXPECT_EQ(rt::systemErrorText(-3), QStringLiteral("Systemfehler -3."));
}
