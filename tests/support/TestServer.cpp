#include "support/TestServer.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <thread>

namespace belvanto::test {

namespace {

// Debian's interpreter, which has python3-asyncssh, whatever comes first on PATH.
constexpr const char* kPython = "/usr/bin/python3";

std::string readOrEmpty(const std::filesystem::path& file) {
  try {
    return readBytes(file);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

TestServer::TestServer(const std::string& script, const std::vector<std::string>& args) {
  const auto scriptPath = std::filesystem::path(BELVANTO_TEST_SERVERS) / script;
  std::vector<std::string> words{kPython, "-u", scriptPath.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const auto out = (logs_ / "stdout").string();
  const auto err = (logs_ / "stderr").string();

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int n = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || n < 0) _exit(126);
    dup2(n, 0);
    dup2(o, 1);
    dup2(e, 2);
    execv(kPython, argv.data());
    _exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto text = output();
    if (auto nl = text.find('\n'); nl != std::string::npos) {
      port_ = std::stoi(text.substr(0, nl));
      return;
    }
    if (!running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop();
  throw std::runtime_error(script + " did not start: " + readOrEmpty(logs_ / "stderr"));
}

TestServer::~TestServer() {
  stop();
}

std::string TestServer::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string TestServer::output() const {
  return readOrEmpty(logs_ / "stdout");
}

bool TestServer::waitForOutput(std::string_view text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (output().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

bool TestServer::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;  // reaped
  return false;
}

void TestServer::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace belvanto::test
