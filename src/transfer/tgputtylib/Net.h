// The TCP connection under the SSH session: direct, or through a SOCKS 5 or
// HTTP CONNECT proxy.
#pragma once

#include <string>

#include "State.h"

namespace belvanto::tglib {

// Where to connect, parsed from the host text of tgsftp_connect.
struct Target {
  std::string user;  // from "user@host", when given
  std::string host;  // without brackets and port
  int port = 0;      // 0 when the text gave none
};

// Splits "user@name:port", "[v6]:port", "v6" (more than one colon) and "name".
Target parseTarget(const std::string& text);

// The proxy handshakes on a connected socket `fd`, asking for host:port; false
// with `error` set. The proxy's answers are bytes from outside: read with
// bounds, never trusted.
bool socks5(LibState& st, int fd, const std::string& host, int port, Deadline dl,
            std::string& error);
bool httpConnect(LibState& st, int fd, const std::string& host, int port, Deadline dl,
                 std::string& error);

// Connects to host:port (directly or through the configured proxy) before the
// deadline. Returns the connected socket, or -1 with `error` set.
int openTransport(LibState& st, const std::string& host, int port, Deadline deadline,
                  std::string& error);

}  // namespace belvanto::tglib
