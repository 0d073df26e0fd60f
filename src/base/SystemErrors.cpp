#include "base/SystemErrors.h"

#include <cerrno>

namespace rt {

QString systemErrorText(int errnum)
{
    const char *text = nullptr;
    switch (errnum) {
    case ENOSPC: text = "Auf dem Datenträger ist kein Platz mehr."; break;
    case EDQUOT: text = "Der Speicherplatz, der Ihnen auf dem Datenträger zusteht, ist aufgebraucht."; break;
    case EACCES:
    case EPERM: text = "Der Zugriff wurde verweigert: Es fehlt die Berechtigung."; break;
    case EROFS: text = "Der Datenträger lässt sich nur lesen."; break;
    case ENOENT: text = "Die Datei oder der Ordner ist nicht vorhanden."; break;
    case ENOTDIR: text = "Ein Teil des Pfades ist kein Ordner."; break;
    case EISDIR: text = "Unter diesem Namen steht ein Ordner."; break;
    case ENAMETOOLONG: text = "Der Name ist zu lang."; break;
    case EEXIST: text = "Unter diesem Namen gibt es schon eine Datei."; break;
    case ENOTEMPTY: text = "Der Ordner ist nicht leer."; break;
    case EXDEV: text = "Die Datei lässt sich nicht auf einen anderen Datenträger verschieben."; break;
    case EIO: text = "Beim Lesen oder Schreiben des Datenträgers ist ein Ein-/Ausgabefehler aufgetreten."; break;
    case ENOMEM: text = "Nicht genügend Arbeitsspeicher."; break;
    case EMFILE:
    case ENFILE: text = "Es sind zu viele Dateien gleichzeitig geöffnet."; break;
    case EBUSY: text = "Die Datei oder das Gerät wird gerade benutzt."; break;
    case ETXTBSY: text = "Die Datei wird gerade als Programm ausgeführt."; break;
    case ELOOP: text = "Der Pfad enthält zu viele symbolische Verknüpfungen."; break;
    case EINVAL: text = "Ein Wert ist ungültig."; break;
    case EFBIG: text = "Die Datei wird zu groß."; break;
    case ENODEV:
    case ENXIO: text = "Das Gerät ist nicht vorhanden oder nicht angeschlossen."; break;
    case ETIMEDOUT: text = "Das Gerät oder die Gegenstelle hat nicht rechtzeitig geantwortet."; break;
    case EINTR: text = "Der Vorgang wurde unterbrochen."; break;
    case EAGAIN: text = "Die Quelle ist gerade nicht verfügbar; bitte später noch einmal versuchen."; break;
    case ECONNREFUSED: text = "Die Gegenstelle hat die Verbindung abgelehnt."; break;
    case ECONNRESET: text = "Die Gegenstelle hat die Verbindung abgebrochen."; break;
    case EPIPE: text = "Die Gegenstelle hat die Verbindung geschlossen."; break;
    case EHOSTUNREACH:
    case ENETUNREACH: text = "Die Gegenstelle ist über das Netz nicht erreichbar."; break;
    case ENOTCONN: text = "Es besteht keine Verbindung."; break;
    case EBADF: text = "Die Datei ist nicht (mehr) geöffnet."; break;
    case ESPIPE: text = "In dieser Datei lässt sich nicht springen."; break;
    case EOVERFLOW: text = "Der Wert ist zu groß für seinen Datentyp."; break;
    case ENOSYS:
    case EOPNOTSUPP: text = "Dieser Vorgang wird vom System nicht unterstützt."; break;
    case ESTALE: text = "Die Datei auf dem Netzlaufwerk ist nicht mehr gültig."; break;
    case EMLINK: text = "Es gibt zu viele Verknüpfungen auf die Datei."; break;
    default: return QStringLiteral("Systemfehler %1.").arg(errnum);
    }
    return QString::fromUtf8(text);
}

} // namespace rt
