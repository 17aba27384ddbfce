#pragma once
#include <poll.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/posix/unix_socket.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/line_thread.h"
#include "zendrilld/handoff.h"
#include "zendrilld/log.h"
#include "zendrilld/steady.h"

namespace zd::daemon {

// A client that has not sent its request line by then loses its slot;
// borrowers keep their connection as long as they like.
constexpr std::chrono::seconds kAskWithin{5};

// The local socket through which zendrill-cli borrows the line. Runs on the
// main thread's poll loop; the line's thread only posts the granted loan.
class ControlServer {
public:
    ControlServer(const DaemonConfig& config, LineThread& line, Log& log);
    ~ControlServer();

    // Listens with mode 0660 and the group of the port's device.
    bool open(std::string& error);
    void close();

    // The descriptors to poll, and what to do with what poll() found; also
    // to be called when poll() timed out.
    void add_fds(std::vector<pollfd>& fds) const;
    void handle(const std::vector<pollfd>& fds);
    // The poll() time-out that lets handle() drop a client that keeps quiet
    // past kAskWithin; -1 when none is waiting to ask.
    int poll_timeout_ms() const;

private:
    struct Client {
        int fd = -1;
        std::string input;
        enum class Stage { Asking, Waiting, Borrowing } stage = Stage::Asking;
        Steady::time_point ask_by;  // the request line is due by then
    };
    void accept_clients();
    void read_client(Client& c);
    void drop(Client& c);
    void drop_quiet_clients();
    void loan_granted();
    void maybe_end_loan();

    const DaemonConfig& config_;
    LineThread& line_;
    Log& log_;
    int listen_fd_ = -1;
    std::vector<Client> clients_;
    bool lent_ = false;         // the line has closed the port for borrowers
    bool asked_ = false;        // a loan was asked of the line and not yet granted
    Handoff<bool> granted_{4};  // the line's thread says the loan is granted
};

}  // namespace zd::daemon
