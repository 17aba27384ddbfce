#pragma once
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zd::test {

// A program started with its stdout and stderr on pipes.
struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's stdout
    int err = -1;  // the child's stderr
    std::chrono::steady_clock::time_point start;
};

// `in_child` runs in the child just before the program replaces it.
inline Child spawn_program(const std::string& program, const std::vector<std::string>& args,
                           const std::function<void()>& in_child = {}) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    Child c;
    c.start = std::chrono::steady_clock::now();
    c.pid = fork();
    if (c.pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (in_child) in_child();
        std::string path = program;
        std::vector<std::string> copy = args;
        std::vector<char*> argv{path.data()};
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    c.out = out[0];
    c.err = err[0];
    return c;
}

}  // namespace zd::test
