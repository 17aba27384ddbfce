#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"

namespace zd::test {

// zendrill-cli against a scripted device in virtual time.
struct CliRig {
    VirtualClock clock;
    FakePort port{clock};
    FakeSystem sys;
    std::string out, err, bytes;
    std::string in;                   // standard input
    std::string stdout_error;         // when set, every write to stdout fails with it
    std::vector<std::string> opened;  // port, once per open
    int wait_ms = -1;
    ExclusiveOpen::Result open_result = ExclusiveOpen::Result::Opened;
    std::map<std::string, std::string> answers;  // command line -> reply line (CR LF added)
    // Replies given one per write of the command, before `answers` counts.
    std::map<std::string, std::deque<std::string>> answers_in_turn;
    bool stop = false;  // what the host's stop query answers
    std::function<void(const std::string&)> after_write;  // e.g. to ask for a stop
    cli::CliHost host{sys, clock, {}, {}, std::nullopt, {}, true, std::nullopt, {}};

    CliRig() {
        host.io = {[this](const std::string& t) { return to_stdout(out, t); },
                   [this](const std::string& t) {
                       err += t;
                       return IoResult::done();
                   },
                   [this](const std::string& b) { return to_stdout(bytes, b); },
                   [this](std::size_t limit) {
                       if (in.size() > limit) return ReadResult::failed(io_text::too_large(limit));
                       return ReadResult{in, {}};
                   }};
        host.open_port = [this](const std::string& name, int wait) {
            opened.push_back(name);
            wait_ms = wait;
            ExclusiveOpen r;
            r.result = open_result;
            if (open_result == ExclusiveOpen::Result::Opened) r.port = std::make_unique<PortProxy>(port);
            if (open_result == ExclusiveOpen::Result::Failed) r.reason = "Gerät nicht vorhanden";
            return r;
        };
        host.stop_requested = [this] { return stop; };
        port.on_write = [this](const std::string& w) {
            auto turn = answers_in_turn.find(w);
            if (turn != answers_in_turn.end() && !turn->second.empty()) {
                port.arrive_after(0, turn->second.front() + "\r\n");
                turn->second.pop_front();
            } else if (auto it = answers.find(w); it != answers.end()) {
                port.arrive_after(0, it->second + "\r\n");
            }
            if (after_write) after_write(w);
        };
    }

    IoResult to_stdout(std::string& sink, const std::string& text) {
        if (!stdout_error.empty()) return IoResult::failed(stdout_error);
        sink += text;
        return IoResult::done();
    }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", "/dev/ttyUSB0"});
        return cli::run_cli(args, host);
    }
    int run_bare(const std::vector<std::string>& args) { return cli::run_cli(args, host); }
};

}  // namespace zd::test
