#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/system.h"

namespace zd::test {

// Files in memory, a settable local time, recorded program starts.
class FakeSystem : public System {
public:
    LocalTime local_time() override { return now; }
    bool file_exists(const std::string& path) override { return files.count(path) > 0; }
    ReadResult read_file(const std::string& path, std::size_t limit) override {
        read_limits.push_back(limit);
        if (auto refused = unreadable.find(path); refused != unreadable.end())
            return ReadResult::failed(refused->second);
        auto it = files.find(path);
        if (it == files.end()) return ReadResult::failed("nicht vorhanden");
        if (it->second.size() > limit) return ReadResult::failed(io_text::too_large(limit, it->second.size()));
        return {it->second, {}};
    }
    IoResult replace_file(const std::string& path, const std::string& content) override {
        ++replace_calls;
        if (fail_writes) return IoResult::failed(write_error);
        files[path] = content;
        return IoResult::done();
    }
    IoResult can_replace_file(const std::string& path) override {
        if (auto refused = unwritable.find(path); refused != unwritable.end()) return IoResult::failed(refused->second);
        return IoResult::done();
    }
    std::string full_path(const std::string& name) override { return "C:\\work\\" + name; }
    bool start_program(const std::string& path) override {
        started.push_back(path);
        return start_succeeds;
    }

    LocalTime now{2026, 12, 8, 18, 30, 45};
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> unreadable;  // path -> why it cannot be read
    std::map<std::string, std::string> unwritable;  // path -> why it is refused before any write
    std::vector<std::size_t> read_limits;
    bool fail_writes = false;  // every replace_file fails with write_error
    std::string write_error = "kein Platz mehr auf dem Datenträger";
    int replace_calls = 0;
    std::vector<std::string> started;
    bool start_succeeds = true;
};

}  // namespace zd::test
