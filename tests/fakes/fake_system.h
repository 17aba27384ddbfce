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
    std::optional<std::string> read_file(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end() || unreadable.count(path)) return std::nullopt;
        return it->second;
    }
    bool replace_file(const std::string& path, const std::string& content) override {
        ++replace_calls;
        if (fail_writes) return false;
        files[path] = content;
        return true;
    }
    bool can_replace_file(const std::string&) override { return !fail_writes; }
    std::string full_path(const std::string& name) override { return "C:\\work\\" + name; }
    bool start_program(const std::string& path) override {
        started.push_back(path);
        return start_succeeds;
    }

    LocalTime now{2026, 12, 8, 18, 30, 45};
    std::map<std::string, std::string> files;
    std::map<std::string, bool> unreadable;
    bool fail_writes = false;
    int replace_calls = 0;
    std::vector<std::string> started;
    bool start_succeeds = true;
};

}  // namespace zd::test
