#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/serial_port.h"
#include "zendrilld/line_agent.h"
#include "zendrilld/steady.h"

namespace zd::daemon {


// How long the line's thread waits before it tries a port that would not
// open again: from `first`, doubling, up to `last`.
struct OpenRetry {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds last{30000};
};

// The thread that owns the line: it opens the port (again and again, with
// back-off, while it is missing), runs people's requests before polls,
// polls on schedule and lends the line out. It sleeps in the kernel between
// pieces of work. Its queue decides what happens to a request while the
// line is lent or the device silent, by the WhenAway its door names.
// submit(), lend(), end_loan() and request_stop() from any thread; every
// request's reply and every loan's `lent` run on the line's thread (or on
// the submitting thread when submit() refuses at once).
class LineThread {
public:
    using Opener = std::function<ExclusiveOpen(const std::string& port, int wait_ms)>;
    // `wrap` may put a decorator around an opened port (exchange logging).
    using Wrapper = std::function<std::unique_ptr<SerialPort>(std::unique_ptr<SerialPort>)>;

    LineThread(const DaemonConfig& config, LineAgent& agent, const DevicePicture& picture, Opener open, Wrapper wrap,
               Log& log, OpenRetry retry = {});
    ~LineThread();

    void start();
    // Cuts the exchange in flight short, closes the port and ends the thread.
    void stop();
    // The same in two steps, for a caller with a deadline: false when the
    // thread has not ended by then (a write the driver will not give back).
    void request_stop();
    bool wait_stopped(Steady::time_point deadline);

    // Queues the request, or answers it at once through its reply: the
    // queue full, the daemon ending, or with WhenAway::Refuse the line lent
    // or the device not answering. True when it was queued.
    bool submit(Request request, WhenAway when_away);

    // A loan: `lent` runs (on the line's thread) once the port is closed.
    // The loan lasts until end_loan(), which ends every loan asked for so
    // far; one ended before it was granted is not granted. Each call is an
    // event of its own: an end and the next loan may both come before the
    // line's thread looks, and neither is lost.
    void lend(std::function<void()> lent);
    void end_loan();

private:
    void run();
    bool try_open(std::string& failure);
    void close_port();

    const DaemonConfig& config_;
    LineAgent& agent_;
    const DevicePicture& picture_;
    Opener open_;
    Wrapper wrap_;
    Log& log_;
    std::unique_ptr<SerialPort> port_;
    std::thread thread_;

    std::mutex m_;
    std::condition_variable cv_;
    struct Queued {
        Request request;
        WhenAway when_away;
    };
    std::deque<Queued> queue_;
    // False for a request its asker withdrew: it is dropped unsent.
    bool taken(const Request& request);
    // Answers the requests that refuse to wait out a loan.
    void refuse_waiting_for_loan(std::unique_lock<std::mutex>& lock);
    bool stopping_ = false;
    bool finished_ = false;
    unsigned long loans_asked_ = 0;   // lend() calls so far
    unsigned long loans_ended_ = 0;   // the loans up to this one have ended
    unsigned long loan_granted_ = 0;  // the loan the port was last closed for
    bool on_loan_ = false;
    std::function<void()> lent_;
    OpenRetry retry_;
};

}  // namespace zd::daemon
