// Key, value and file text from the input: the rewrite keeps the line count
// and every line it reports changed carries the new value; on a file, a
// text without the key is left as it was.
#include <cstdint>
#include <string>

#include "core/companion_file.h"
#include "core/ini.h"

namespace {

// The companion file in memory: one file, counted writes.
class OneFile : public zd::System {
public:
    explicit OneFile(const std::string& text) : text(text) {}
    zd::LocalTime local_time() override { return {}; }
    bool file_exists(const std::string& path) override { return path == zd::kCompanionFileName; }
    zd::ReadResult read_file(const std::string& path, std::size_t) override {
        if (path != zd::kCompanionFileName) return zd::ReadResult::failed("nicht vorhanden");
        return {text, {}};
    }
    zd::IoResult can_replace_file(const std::string&) override { return zd::IoResult::done(); }
    zd::IoResult replace_file(const std::string& path, const std::string& content) override {
        if (path != zd::kCompanionFileName) __builtin_trap();
        text = content;
        ++writes;
        return zd::IoResult::done();
    }
    std::string full_path(const std::string& name) override { return name; }
    bool start_program(const std::string&) override { return false; }
    std::string text;
    int writes = 0;
};

// Lines of a text ended by CR LF, CR or LF, the last perhaps by nothing.
// No coverage: the rewrite is what is explored, not this count.
__attribute__((no_sanitize("coverage"))) std::size_t line_count(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (text[i] == '\r' || text[i] == '\n') ++lines;
    }
    return lines + (!text.empty() && text.back() != '\r' && text.back() != '\n');
}

// Every line of a rewritten text ends with CR LF, and only there.
__attribute__((no_sanitize("coverage"))) std::size_t crlf_count(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) n += text[i] == '\r' && text[i + 1] == '\n';
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const auto a = all.find('\x01');
    const auto b = a == std::string::npos ? a : all.find('\x01', a + 1);
    if (b == std::string::npos) return 0;
    const std::string key = all.substr(0, a);
    const std::string value = all.substr(a + 1, b - a - 1);
    const std::string text = all.substr(b + 1);
    if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '\t' || key.back() == '\t' ||
        key.find_first_of("\r\n=") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
        return 0;
    // The file first: when it changed, it holds the rewritten text.
    OneFile file(text);
    const bool found = zd::replace_key_lines(file, zd::kCompanionFileName, key, value);
    if (file.writes != (found ? 1 : 0)) __builtin_trap();
    bool found_in_text = false;
    const std::string out = found ? file.text : zd::replace_key_lines_in_text(text, key, value, found_in_text);
    if (found_in_text || (!found && file.text != text)) __builtin_trap();

    // A byte-order mark stays in front and is no line.
    const bool bom = zd::starts_with_bom(text);
    if (zd::starts_with_bom(out) != bom) __builtin_trap();
    const std::string out_lines = out.substr(bom ? zd::kUtf8Bom.size() : 0);
    if (!out_lines.empty() && out_lines.compare(out_lines.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    if (crlf_count(out_lines) != line_count(text.substr(bom ? zd::kUtf8Bom.size() : 0))) __builtin_trap();
    if (!found) return 0;
    if (out.find(key + " = " + value + "\r\n") == std::string::npos) __builtin_trap();
    bool again = false;
    if (zd::replace_key_lines_in_text(out, key, value, again) != out || !again) __builtin_trap();
    return 0;
}
