#include "platform/win32/win32_error.h"

#include <windows.h>

#include "platform/io_result.h"

namespace zd::win32 {

std::string error_text(unsigned long err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND: return "nicht vorhanden";
        case ERROR_PATH_NOT_FOUND: return io_text::kFolderMissing;
        case ERROR_ACCESS_DENIED: return "keine Berechtigung";
        case ERROR_INVALID_HANDLE: return "nicht geöffnet";
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return "zu wenig Speicher";
        case ERROR_WRITE_PROTECT: return io_text::kReadOnly;
        case ERROR_NOT_READY: return "das Laufwerk ist nicht bereit";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "von einem anderen Programm belegt";
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL: return "kein Platz mehr auf dem Datenträger";
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return "existiert bereits";
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return "der Empfänger hat die Verbindung geschlossen";
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return "ungültiger Dateiname";
        case ERROR_FILENAME_EXCED_RANGE: return "Dateiname zu lang";
        case ERROR_DIRECTORY: return "ungültiger Ordnername";
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return "Netzwerkpfad nicht gefunden";
        case ERROR_CRC:
        case ERROR_IO_DEVICE: return "Ein-/Ausgabefehler";
        default: return "Systemfehler " + std::to_string(err);
    }
}

}  // namespace zd::win32
