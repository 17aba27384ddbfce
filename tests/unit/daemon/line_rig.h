#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/unit/daemon/sim_b203.h"
#include "zendrilld/line_agent.h"
#include "zendrilld/line_thread.h"

namespace zd::test {

using namespace std::chrono_literals;

const char* const kPort = "/dev/ttyB203";

// The line's thread between a fake opener and a SimB203. The device, port
// and virtual clock belong to the line's thread while it runs; the test
// sees the log.
struct LineRig {
    using LineAgent = daemon::LineAgent;
    using LineThread = daemon::LineThread;

    VirtualClock clock;
    FakePort port{clock};
    SimB203 device{port, clock};
    RunningSystem sys{clock, 847540800};
    daemon::DaemonConfig config;
    std::deque<ExclusiveOpen> refusals;  // what the opener answers before it opens
    bool never_opens = false;
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> lines;
    int opens = 0;
    daemon::DevicePicture picture{config};
    daemon::Log log_sink{daemon::Log::Sink([this](const std::string& text) { log(text); })};
    daemon::Journal* journal = nullptr;  // none unless a test gives one
    std::unique_ptr<LineAgent> agent;
    std::unique_ptr<LineThread> line;

    void log(const std::string& text) {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(text);
        cv.notify_all();
    }
    void start() {
        device.set_clock_s(sys.base_s);
        config.port = kPort;
        picture.add_view([this](const daemon::Picture&, const daemon::Change&) {
            std::lock_guard<std::mutex> lock(m);
            cv.notify_all();
        });
        agent = std::make_unique<LineAgent>(config, sys, clock, picture, log_sink, journal);
        const auto open = [this](const std::string&, int) {
            std::lock_guard<std::mutex> lock(m);
            ++opens;
            ExclusiveOpen r;
            if (never_opens) {
                r.result = ExclusiveOpen::Result::Failed;
                r.reason = "Gerät nicht vorhanden";
            } else if (!refusals.empty()) {
                r = std::move(refusals.front());
                refusals.pop_front();
            } else {
                r.result = ExclusiveOpen::Result::Opened;
                r.port = std::make_unique<PortProxy>(port);
            }
            return r;
        };
        line = std::make_unique<LineThread>(config, *agent, picture, open, nullptr, log_sink,
                                            daemon::OpenRetry{1ms, 4ms});
        line->start();
    }
    // Waits until the picture is as `holds` wants it.
    template <typename Holds>
    bool wait_picture(Holds holds) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 10s, [&] { return holds(picture.snapshot()); });
    }
    // Every timer read: the line is idle until its next poll.
    bool wait_timers_read() {
        return wait_picture([](const daemon::Picture& p) {
            for (const auto& t : p.timers)
                if (!t) return false;
            return true;
        });
    }
    // Waits until `count` log lines hold `text`.
    bool wait_log(const std::string& text, int count = 1) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 10s, [&] {
            int seen = 0;
            for (const std::string& l : lines) seen += l.find(text) != std::string::npos;
            return seen >= count;
        });
    }
    // The log lines that hold `text`, once the thread has ended.
    std::vector<std::string> lines_with(const std::string& text) {
        line->stop();
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.find(text) != std::string::npos) out.push_back(l);
        return out;
    }
};

}  // namespace zd::test
