#include "platform/local_service.h"

namespace zd {

// No daemon runs on Windows; the console programs open the port themselves.
std::unique_ptr<LocalConnection> connect_local_service(const std::string&, int) { return nullptr; }

}  // namespace zd
