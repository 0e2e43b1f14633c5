// A listening TCP socket on one IPv4 address, for the debugger's port and
// the UARTs' sockets: created close-on-exec, the address reusable at once.
#pragma once
#include <string>

namespace sim {

// The socket's descriptor, and in *port the port it listens on (port 0:
// any free one); -1 with *error set when it cannot listen there.
int tcp_listen(const std::string& address, int port, bool nonblocking, int* bound_port, std::string* error);

}  // namespace sim
