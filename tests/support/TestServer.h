// A Python test server from tests/servers, run as a child process for the
// lifetime of this object. The script binds a free loopback port and prints
// it as its first line; every further line it prints is an event a test can
// look for. The process dies with this object, or with the test program.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "support/TestSupport.h"

namespace belvanto::test {

class TestServer {
 public:
  // Runs /usr/bin/python3 tests/servers/<script> <args> and waits until it
  // listens; throws with the server's error output if it ends before that.
  TestServer(const std::string& script, const std::vector<std::string>& args);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:<port>", the form the SFTP library takes as a host.
  std::string address() const;
  // Everything printed on stdout so far, the port line included.
  std::string output() const;
  // Waits until `text` appears in the output.
  bool waitForOutput(std::string_view text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Whether the process is still alive (false once a fault switch ended it).
  bool running();
  void stop();

 private:
  TempDir logs_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace belvanto::test
