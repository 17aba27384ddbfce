#pragma once
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/posix/unix_socket.h"

namespace zd::daemon {

// What one thread hands another: items posted from any thread, taken in
// order by the owner, whose poll loop watches fd(). The one way threads of
// the daemon pass work to each other. Bounded: when full, the oldest item
// gives way (kDropOldest) or the new one is refused.
template <typename T>
class Handoff {
public:
    enum class WhenFull { DropOldest, Refuse };
    explicit Handoff(std::size_t limit, WhenFull when_full = WhenFull::Refuse) : limit_(limit), when_full_(when_full) {}

    // False when the item was not taken (closed, or full and refusing).
    bool post(T item) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (closed_) return false;
            if (items_.size() >= limit_) {
                if (when_full_ == WhenFull::Refuse) return false;
                items_.pop_front();
            }
            items_.push_back(std::move(item));
        }
        wake_.signal();
        return true;
    }
    // The owner's thread: everything posted so far.
    std::deque<T> take() {
        wake_.drain();
        std::lock_guard<std::mutex> lock(m_);
        std::deque<T> out;
        out.swap(items_);
        return out;
    }
    // Readable while items wait.
    int fd() const { return wake_.fd(); }
    // Later posts are refused; what waits is dropped.
    void close() {
        std::lock_guard<std::mutex> lock(m_);
        closed_ = true;
        items_.clear();
    }

private:
    const std::size_t limit_;
    const WhenFull when_full_;
    std::mutex m_;
    std::deque<T> items_;
    bool closed_ = false;
    posix::Wakeup wake_;
};

}  // namespace zd::daemon
