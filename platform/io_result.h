#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace zd {

// How a write to a file or a standard stream went: done, or why not in
// German, worded to follow a colon ("kein Platz mehr auf dem Datenträger").
struct IoResult {
    bool ok = false;
    std::string error;
    explicit operator bool() const { return ok; }
    static IoResult done() { return {true, {}}; }
    static IoResult failed(std::string why) { return {false, std::move(why)}; }
};

// A whole file or stream, or why it was not read (worded as above).
struct ReadResult {
    std::optional<std::string> content;
    std::string error;
    static ReadResult failed(std::string why) { return {std::nullopt, std::move(why)}; }
};

// The reasons every implementation gives alike.
namespace io_text {

constexpr const char* kDirectory = "ein Verzeichnis, keine Datei";
constexpr const char* kDevice = "eine Gerätedatei, keine gewöhnliche Datei";
constexpr const char* kFifo = "eine benannte Pipe (FIFO), keine gewöhnliche Datei";
constexpr const char* kSocket = "ein Socket, keine gewöhnliche Datei";
constexpr const char* kOther = "keine gewöhnliche Datei";
constexpr const char* kDanglingLink = "ein symbolischer Verweis auf etwas, das es nicht gibt";
constexpr const char* kReadOnly = "schreibgeschützt";
constexpr const char* kFolderMissing = "der Ordner ist nicht vorhanden";

// "zu groß: N Bytes, höchstens LIMIT"; without `size` (a stream)
// "zu groß: mehr als LIMIT Bytes".
std::string too_large(std::size_t limit, std::optional<std::uint64_t> size = std::nullopt);

// A C library error number in German; one without its own text names the
// number. The Windows C runtime's numbers are the same.
std::string errno_text(int err);

}  // namespace io_text

}  // namespace zd
