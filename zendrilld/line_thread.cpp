#include "zendrilld/line_thread.h"

#include <chrono>
#include <optional>
#include <vector>

namespace zd::daemon {

namespace {

std::string span_text(std::chrono::milliseconds span) {
    const long long ms = span.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

LineThread::LineThread(const DaemonConfig& config, LineAgent& agent, const DevicePicture& picture, Opener open,
                       Wrapper wrap, Log& log, OpenRetry retry)
    : config_(config),
      agent_(agent),
      picture_(picture),
      open_(std::move(open)),
      wrap_(std::move(wrap)),
      log_(log),
      retry_(retry) {}

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

bool LineThread::wait_stopped(Steady::time_point deadline) {
    if (!thread_.joinable()) return true;
    {
        std::unique_lock<std::mutex> lock(m_);
        if (!cv_.wait_until(lock, deadline, [this] { return finished_; })) return false;
    }
    thread_.join();
    return true;
}

bool LineThread::submit(Request request, WhenAway when_away) {
    std::optional<NotQueued> refused;
    {
        std::lock_guard<std::mutex> lock(m_);
        const bool loan = on_loan_ || loans_asked_ > loans_ended_;
        if (stopping_) refused = NotQueued::Stopping;
        else if (queue_.size() >= kMaxWaitingRequests) refused = NotQueued::Full;
        else if (when_away == WhenAway::Refuse && loan) refused = NotQueued::Lent;
        else if (when_away == WhenAway::Refuse && picture_.link() == LinkState::Offline) refused = NotQueued::Offline;
        else queue_.push_back({std::move(request), when_away});
    }
    if (refused) {
        agent_.refused_unrun(request, not_queued_text(*refused));
        if (request.reply) request.reply({Outcome::Kind::Unavailable, not_queued_text(*refused)});
        return false;
    }
    cv_.notify_all();
    return true;
}

bool LineThread::taken(const Request& r) {
    if (!r.claim || r.claim->take_for_line()) return true;
    // Its asker has answered for itself: afterwards nothing may reach the device.
    log_.line("Befehl zurückgezogen, die Antwort ist schon gegeben: " + r.command);
    return false;
}

void LineThread::refuse_waiting_for_loan(std::unique_lock<std::mutex>& lock) {
    std::vector<Request> refused;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->when_away == WhenAway::Refuse) {
            refused.push_back(std::move(it->request));
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    lock.unlock();
    for (const Request& r : refused) {
        const Outcome o = agent_.refuse(r, not_queued_text(NotQueued::Lent));
        if (r.reply && r.reply_when == ReplyWhen::Settled) r.reply(o);
    }
    lock.lock();
}

void LineThread::lend(std::function<void()> lent) {
    {
        std::lock_guard<std::mutex> lock(m_);
        ++loans_asked_;
        lent_ = std::move(lent);
    }
    cv_.notify_all();
}

void LineThread::end_loan() {
    {
        std::lock_guard<std::mutex> lock(m_);
        loans_ended_ = loans_asked_;
    }
    cv_.notify_all();
}

bool LineThread::try_open(std::string& failure) {
    ExclusiveOpen opened = open_(config_.port, 0);
    if (opened.result != ExclusiveOpen::Result::Opened || !opened.port) {
        failure = opened.result == ExclusiveOpen::Result::Busy ? "belegt, ein anderes Programm hält ihn"
                  : opened.reason.empty()                       ? "Grund unbekannt"
                                                                : opened.reason;
        return false;
    }
    port_ = wrap_ ? wrap_(std::move(opened.port)) : std::move(opened.port);
    agent_.attach(port_.get());
    log_.line("Port " + config_.port + " geöffnet");
    return true;
}

void LineThread::close_port() {
    if (!port_) return;
    agent_.detach();
    port_->close();
    port_.reset();
}

void LineThread::run() {
    auto backoff = std::chrono::duration_cast<Steady::duration>(retry_.first);
    auto next_open = Steady::now();
    auto next_status = Steady::now();
    auto next_timers = Steady::now();
    std::string last_open_failure;
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        const auto now = Steady::now();
        if (stopping_) break;
        // A loan asked for and not yet ended is granted, also one asked for
        // while the port is still lent: it stays closed for the new one.
        if (loans_asked_ > loan_granted_ && loans_asked_ > loans_ended_) {
            loan_granted_ = loans_asked_;
            const bool closed_already = on_loan_;
            on_loan_ = true;
            auto lent = std::move(lent_);
            lent_ = nullptr;
            lock.unlock();
            if (!closed_already) {
                close_port();
                agent_.lent(true);
            }
            log_.line("Port an ein anderes Programm verliehen");
            if (lent) lent();
            lock.lock();
            // Who would not wait hears so now, not when the loan ends.
            refuse_waiting_for_loan(lock);
            continue;
        }
        if (on_loan_) {
            if (loans_ended_ < loan_granted_) {
                cv_.wait(lock);
                continue;
            }
            on_loan_ = false;
            log_.line("Port zurückgenommen");
            lock.unlock();
            agent_.lent(false);
            lock.lock();
            // Whatever the borrower changed is read again at once.
            next_open = now;
            backoff = retry_.first;
            continue;
        }
        if (!port_) {
            if (now < next_open) {
                // Requests find no port; they are answered rather than kept.
                if (!queue_.empty()) {
                    const Request r = std::move(queue_.front().request);
                    queue_.pop_front();
                    lock.unlock();
                    if (!taken(r)) {
                        lock.lock();
                        continue;
                    }
                    const Outcome o = agent_.refuse(r, not_queued_text(NotQueued::PortClosed, config_.port));
                    if (r.reply && r.reply_when == ReplyWhen::Settled) r.reply(o);
                    lock.lock();
                    continue;
                }
                cv_.wait_until(lock, next_open);
                continue;
            }
            lock.unlock();
            std::string failure;
            const bool opened = try_open(failure);
            // Why, once for each reason in a row: a retry that fails the
            // same way says nothing new.
            if (!opened && failure != last_open_failure)
                agent_.lose_link("Port " + config_.port + " nicht zu öffnen: " + failure +
                                 "; neuer Versuch mit wachsendem Abstand bis " + span_text(retry_.last));
            lock.lock();
            last_open_failure = failure;
            if (opened) {
                backoff = retry_.first;
                next_status = next_timers = Steady::now();
            } else {
                next_open = Steady::now() + backoff;
                backoff = std::min<Steady::duration>(backoff * 2, retry_.last);
            }
            continue;
        }
        if (!queue_.empty()) {
            const Request r = std::move(queue_.front().request);
            queue_.pop_front();
            lock.unlock();
            if (!taken(r)) {
                lock.lock();
                continue;
            }
            const Outcome o = agent_.run(r);
            if (r.reply && r.reply_when == ReplyWhen::Settled) r.reply(o);
            if (r.kind == Request::Kind::WriteTimer || r.kind == Request::Kind::EraseTimer ||
                r.kind == Request::Kind::Refresh || r.kind == Request::Kind::Restore)
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
            next_open = Steady::now() + retry_.first;
            backoff = std::min<Steady::duration>(retry_.first * 2, retry_.last);
            last_open_failure.clear();
        }
        lock.lock();
    }
    std::deque<Queued> left;
    left.swap(queue_);
    lock.unlock();
    close_port();
    // Whoever waits for a request that will not run hears so.
    for (const Queued& q : left)
        if (q.request.reply) q.request.reply({Outcome::Kind::Unavailable, not_queued_text(NotQueued::Stopping)});
    lock.lock();
    finished_ = true;
    cv_.notify_all();
}

}  // namespace zd::daemon
