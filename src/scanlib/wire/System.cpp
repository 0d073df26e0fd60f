#include "scanlib/wire/System.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace scanlib {

QString systemError(int errnum)
{
    switch (errnum) {
    case ENOSPC: return QStringLiteral("Auf dem Datenträger ist kein Platz mehr frei.");
    case EDQUOT: return QStringLiteral("Ihr Speicherkontingent auf dem Datenträger ist erschöpft.");
    case EFBIG: return QStringLiteral("Die Datei wird zu groß für das Dateisystem.");
    case EACCES:
    case EPERM: return QStringLiteral("Der Zugriff wurde verweigert (fehlende Berechtigung).");
    case EROFS: return QStringLiteral("Der Datenträger ist schreibgeschützt.");
    case ENOENT: return QStringLiteral("Die Datei oder der Ordner existiert nicht.");
    case ENOTDIR: return QStringLiteral("Ein Teil des Pfades ist kein Ordner.");
    case EISDIR: return QStringLiteral("Das ist ein Ordner, keine Datei.");
    case EEXIST: return QStringLiteral("Eine Datei dieses Namens gibt es schon.");
    case ELOOP: return QStringLiteral("Der Pfad enthält eine Verknüpfung, der nicht gefolgt wird.");
    case ENAMETOOLONG: return QStringLiteral("Der Name ist zu lang.");
    case EIO: return QStringLiteral("Beim Lesen oder Schreiben des Datenträgers trat ein Fehler auf.");
    case EMFILE:
    case ENFILE: return QStringLiteral("Es sind zu viele Dateien gleichzeitig geöffnet.");
    case ENOMEM: return QStringLiteral("Der Arbeitsspeicher reicht nicht aus.");
    case EBUSY: return QStringLiteral("Die Datei oder das Gerät ist gerade belegt.");
    case EXDEV: return QStringLiteral("Die Datei liegt auf einem anderen Datenträger.");
    case EPIPE:
    case ECONNRESET: return QStringLiteral("Die Verbindung zum Scannerprogramm ist abgerissen.");
    case ETIMEDOUT: return QStringLiteral("Die Zeit für die Antwort ist abgelaufen.");
    default: return QStringLiteral("Systemfehler Nr. %1.").arg(errnum);
    }
}

bool sendDescriptor(int socket, int fd)
{
    char byte = 'F';
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    ssize_t n;
    do
        n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == 1;
}

int receiveDescriptor(int socket)
{
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n != 1)
        return -1;
    int fd = -1;
    for (cmsghdr *h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h))
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS && h->cmsg_len == CMSG_LEN(sizeof(int))) {
            if (fd >= 0)
                ::close(fd);
            std::memcpy(&fd, CMSG_DATA(h), sizeof(int));
        }
    if ((message.msg_flags & MSG_CTRUNC) && fd >= 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace scanlib
