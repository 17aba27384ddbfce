#include "platform/io_result.h"

#include <cerrno>

namespace zd::io_text {

std::string too_large(std::size_t limit, std::optional<std::uint64_t> size) {
    if (!size) return "zu groß: mehr als " + std::to_string(limit) + " Bytes";
    return "zu groß: " + std::to_string(*size) + " Bytes, höchstens " + std::to_string(limit);
}

std::string errno_text(int err) {
    switch (err) {
        case ENOENT: return "nicht vorhanden";
        case EACCES:
        case EPERM: return "keine Berechtigung";
        case EISDIR: return kDirectory;
        case ENOTDIR: return "ein Teil des Pfades ist kein Verzeichnis";
        case ENAMETOOLONG: return "Dateiname zu lang";
        case ENOSPC: return "kein Platz mehr auf dem Datenträger";
        case EROFS: return "das Dateisystem ist nur lesbar";
        case EIO: return "Ein-/Ausgabefehler";
        case EBADF: return "nicht geöffnet";
        case EPIPE: return "der Empfänger hat die Verbindung geschlossen";
        case EMFILE:
        case ENFILE: return "zu viele offene Dateien";
        case EFBIG: return "Datei zu groß";
        case EBUSY: return "belegt";
        case ENXIO:
        case ENODEV: return "kein solches Gerät";
        case EEXIST: return "existiert bereits";
        case EINVAL: return "ungültiges Argument";
        case EXDEV: return "auf einem anderen Dateisystem";
        case ENOMEM: return "zu wenig Speicher";
        case EAGAIN: return "vorübergehend nicht verfügbar";
        case EINTR: return "unterbrochen";
        case ENOTTY: return "kein Terminal";
#ifdef ELOOP
        case ELOOP: return "zu viele Ebenen symbolischer Verweise";
#endif
#ifdef EDQUOT
        case EDQUOT: return "das Speicherkontingent ist erschöpft";
#endif
#ifdef ETXTBSY
        case ETXTBSY: return "in Benutzung";
#endif
#ifdef ECONNRESET
        case ECONNRESET: return "die Verbindung wurde zurückgesetzt";
#endif
        default: return "Systemfehler " + std::to_string(err);
    }
}

}  // namespace zd::io_text
