#pragma once
#include <string>

// How a program borrows the line from a daemon that holds it: over a local
// socket, one line each way. The borrower asks for its port; the daemon
// answers LENT once it has closed the port (or OTHER with the port it holds
// when that is another one), and takes the port back when the borrower's
// connection closes.
namespace zd::loan {

constexpr const char* kDefaultSocket = "/run/zendrill/zendrilld.sock";
constexpr const char* kSocketVariable = "ZENDRILL_SOCKET";
constexpr std::size_t kMaxLine = 512;

std::string request_line(const std::string& port);  // "LEND <port>\n"
// The port of a request line (without its "\n"); false when it is none.
bool parse_request(const std::string& line, std::string& port);

std::string lent_line();                                   // "LENT\n"
std::string other_line(const std::string& daemon_port);    // "OTHER <port>\n"
std::string refused_line(const std::string& why);          // "ERROR <why>\n"

enum class Answer { Lent, Other, Refused, Garbled };
Answer parse_answer(const std::string& line, std::string& detail);

}  // namespace zd::loan
