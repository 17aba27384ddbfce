#include "zendrilld/line_thread.h"

#include <chrono>

namespace zd::daemon {

namespace {

using Steady = std::chrono::steady_clock;
constexpr auto kFirstBackoff = std::chrono::seconds(1);
constexpr auto kLastBackoff = std::chrono::seconds(30);

}  // namespace

LineThread::LineThread(const DaemonConfig& config, LineAgent& agent, Opener open, Wrapper wrap,
                       std::function<void(const std::string&)> log)
    : config_(config), agent_(agent), open_(std::move(open)), wrap_(std::move(wrap)), log_(std::move(log)) {}

LineThread::~LineThread() { stop(); }

void LineThread::start() { thread_ = std::thread([this] { run(); }); }

void LineThread::stop() {
    request_stop();
    if (thread_.joinable()) thread_.join();
}

void LineThread::request_stop() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stopping_ = true;
    }
    agent_.request_stop();
    cv_.notify_all();
}

bool LineThread::wait_stopped(std::chrono::steady_clock::time_point deadline) {
    if (!thread_.joinable()) return true;
    {
        std::unique_lock<std::mutex> lock(m_);
        if (!cv_.wait_until(lock, deadline, [this] { return finished_; })) return false;
    }
    thread_.join();
    return true;
}

LineThread::Submitted LineThread::submit(const Request& request) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (stopping_) return Submitted::Stopping;
        if (queue_.size() >= kMaxWaitingRequests) return Submitted::Full;
        queue_.push_back(request);
    }
    cv_.notify_all();
    return Submitted::Queued;
}

void LineThread::lend(std::function<void()> lent) {
    {
        std::lock_guard<std::mutex> lock(m_);
        loan_wanted_ = true;
        lent_ = std::move(lent);
    }
    cv_.notify_all();
}

void LineThread::end_loan() {
    {
        std::lock_guard<std::mutex> lock(m_);
        loan_wanted_ = false;
    }
    cv_.notify_all();
}

bool LineThread::try_open() {
    ExclusiveOpen opened = open_(config_.port, 0);
    if (opened.result != ExclusiveOpen::Result::Opened || !opened.port) return false;
    port_ = wrap_ ? wrap_(std::move(opened.port)) : std::move(opened.port);
    agent_.attach(port_.get());
    log_("Port " + config_.port + " geöffnet");
    return true;
}

void LineThread::close_port() {
    if (!port_) return;
    agent_.detach();
    port_->close();
    port_.reset();
}

void LineThread::run() {
    auto backoff = std::chrono::duration_cast<Steady::duration>(kFirstBackoff);
    auto next_open = Steady::now();
    auto next_status = Steady::now();
    auto next_timers = Steady::now();
    std::string last_open_failure;
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        const auto now = Steady::now();
        if (stopping_) break;
        if (loan_wanted_ && !on_loan_) {
            lock.unlock();
            close_port();
            log_("Port an ein anderes Programm verliehen");
            lock.lock();
            on_loan_ = true;
            if (lent_) {
                auto lent = std::move(lent_);
                lent_ = nullptr;
                lock.unlock();
                lent();
                lock.lock();
            }
            continue;
        }
        if (on_loan_) {
            if (loan_wanted_) {
                cv_.wait(lock);
                continue;
            }
            on_loan_ = false;
            log_("Port zurückgenommen");
            // Whatever the borrower changed is read again at once.
            next_open = now;
            backoff = kFirstBackoff;
            continue;
        }
        if (!port_) {
            if (now < next_open) {
                // Requests find no port; they are answered rather than kept.
                if (!queue_.empty()) {
                    const Request r = queue_.front();
                    queue_.pop_front();
                    lock.unlock();
                    agent_.refuse(r, "Der Port " + config_.port + " ist nicht geöffnet");
                    lock.lock();
                    continue;
                }
                cv_.wait_until(lock, next_open);
                continue;
            }
            lock.unlock();
            const bool opened = try_open();
            lock.lock();
            if (opened) {
                backoff = kFirstBackoff;
                last_open_failure.clear();
                next_status = next_timers = Steady::now();
            } else {
                if (last_open_failure.empty()) {
                    lock.unlock();
                    agent_.lose_link("Port " + config_.port + " nicht zu öffnen; neuer Versuch mit wachsendem Abstand bis 30 s");
                    lock.lock();
                    last_open_failure = "x";
                }
                next_open = Steady::now() + backoff;
                backoff = std::min<Steady::duration>(backoff * 2, kLastBackoff);
            }
            continue;
        }
        if (!queue_.empty()) {
            const Request r = queue_.front();
            queue_.pop_front();
            lock.unlock();
            agent_.run(r);
            if (r.kind == Request::Kind::WriteTimer || r.kind == Request::Kind::EraseTimer ||
                r.kind == Request::Kind::Refresh)
                next_timers = Steady::now() + std::chrono::seconds(config_.poll_timers_s);
            next_status = Steady::now() + std::chrono::seconds(config_.poll_status_s);
        } else if (now >= next_status) {
            lock.unlock();
            agent_.read_status();
            next_status = Steady::now() + std::chrono::seconds(config_.poll_status_s);
        } else if (now >= next_timers) {
            lock.unlock();
            agent_.read_timers();
            next_timers = Steady::now() + std::chrono::seconds(config_.poll_timers_s);
        } else {
            cv_.wait_until(lock, std::min(next_status, next_timers));
            continue;
        }
        if (agent_.port_gone()) {
            close_port();
            agent_.lose_link("Port " + config_.port + " ist weg (Adapter gezogen?)");
            next_open = Steady::now() + kFirstBackoff;
            backoff = kFirstBackoff * 2;
            last_open_failure = "weg";
        }
        lock.lock();
    }
    lock.unlock();
    close_port();
    lock.lock();
    finished_ = true;
    cv_.notify_all();
}

}  // namespace zd::daemon
