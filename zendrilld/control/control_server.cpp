#include "zendrilld/control/control_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "core/line_loan.h"

namespace zd::daemon {

namespace {

constexpr std::size_t kMaxClients = 16;

}  // namespace

ControlServer::ControlServer(const DaemonConfig& config, LineThread& line, Log& log)
    : config_(config), line_(line), log_(log) {}

ControlServer::~ControlServer() { close(); }

bool ControlServer::open(std::string& error) {
    // Whoever may use the port may borrow it; serial lines belong to
    // dialout while the adapter is out.
    std::string warning;
    listen_fd_ = posix::listen_local(config_.control_socket, 0660, posix::group_of(config_.port, "dialout"), error,
                                     warning);
    if (!warning.empty()) log_.line(warning);
    return listen_fd_ >= 0;
}

void ControlServer::close() {
    for (Client& c : clients_)
        if (c.fd >= 0) ::close(c.fd);
    clients_.clear();
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        ::unlink(config_.control_socket.c_str());
        listen_fd_ = -1;
    }
}

void ControlServer::add_fds(std::vector<pollfd>& fds) const {
    if (listen_fd_ >= 0) fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({granted_.fd(), POLLIN, 0});
    for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
}

int ControlServer::poll_timeout_ms() const {
    const Steady::time_point none = Steady::time_point::max();
    Steady::time_point first = none;
    for (const Client& c : clients_)
        if (c.fd >= 0 && c.stage == Client::Stage::Asking) first = std::min(first, c.ask_by);
    if (first == none) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - Steady::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kAskWithin.count() * 1000));
}

void ControlServer::drop_quiet_clients() {
    const auto now = Steady::now();
    for (Client& c : clients_) {
        if (c.fd < 0 || c.stage != Client::Stage::Asking || now < c.ask_by) continue;
        posix::write_all(c.fd, loan::refused_line("keine Anfrage innerhalb von " +
                                                  std::to_string(kAskWithin.count()) + " s"));
        drop(c);
    }
}

void ControlServer::handle(const std::vector<pollfd>& fds) {
    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        if (p.fd == listen_fd_) {
            accept_clients();
        } else if (p.fd == granted_.fd()) {
            if (!granted_.take().empty()) loan_granted();
        } else {
            for (Client& c : clients_)
                if (c.fd == p.fd) read_client(c);
        }
    }
    drop_quiet_clients();
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [](const Client& c) { return c.fd < 0; }),
                   clients_.end());
    maybe_end_loan();
}

void ControlServer::accept_clients() {
    for (;;) {
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (clients_.size() >= kMaxClients) {
            posix::write_all(fd, loan::refused_line("zu viele Verbindungen"));
            ::close(fd);
            continue;
        }
        clients_.push_back(Client{fd, {}, Client::Stage::Asking, Steady::now() + kAskWithin});
    }
}

void ControlServer::drop(Client& c) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
}

void ControlServer::read_client(Client& c) {
    char buf[256];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0) {
        // The borrower is done, gone or killed: either way the line comes back.
        if (c.stage == Client::Stage::Borrowing) log_.line("Ausleihe beendet");
        drop(c);
        return;
    }
    if (c.stage != Client::Stage::Asking) return;  // nothing more is expected
    c.input.append(buf, static_cast<std::size_t>(n));
    const std::size_t nl = c.input.find('\n');
    if (nl == std::string::npos) {
        if (c.input.size() > loan::kMaxLine) {
            posix::write_all(c.fd, loan::refused_line("Zeile zu lang"));
            drop(c);
        }
        return;
    }
    std::string port;
    if (!loan::parse_request(c.input.substr(0, nl), port)) {
        posix::write_all(c.fd, loan::refused_line("unbekannte Anfrage"));
        drop(c);
        return;
    }
    if (posix::canonical_path(port) != posix::canonical_path(config_.port)) {
        posix::write_all(c.fd, loan::other_line(config_.port));
        drop(c);
        return;
    }
    if (lent_) {
        c.stage = Client::Stage::Borrowing;
        if (!posix::write_all(c.fd, loan::lent_line())) drop(c);
        return;
    }
    c.stage = Client::Stage::Waiting;
    if (!asked_) {
        asked_ = true;
        log_.line("Ein Programm möchte den Port " + config_.port + " ausleihen");
        line_.lend([this] { granted_.post(true); });
    }
}

void ControlServer::loan_granted() {
    asked_ = false;
    lent_ = true;
    for (Client& c : clients_) {
        if (c.fd < 0 || c.stage != Client::Stage::Waiting) continue;
        c.stage = Client::Stage::Borrowing;
        if (!posix::write_all(c.fd, loan::lent_line())) drop(c);
    }
}

void ControlServer::maybe_end_loan() {
    if (!lent_ && !asked_) return;
    for (const Client& c : clients_)
        if (c.fd >= 0 && c.stage != Client::Stage::Asking) return;
    if (asked_) return;  // the line is still closing; granted_ ends it then
    lent_ = false;
    line_.end_loan();
}

}  // namespace zd::daemon
