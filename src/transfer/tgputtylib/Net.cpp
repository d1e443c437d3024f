// TCP connection set-up. Proxies are spoken to here rather than through
// libssh so that the finished socket can be handed over whole.
#include "Net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace belvanto::tglib {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

struct AddrInfoFree {
  void operator()(addrinfo* a) const { freeaddrinfo(a); }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoFree>;

std::string hostPort(const std::string& host, int port) {
  bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

AddrList resolve(const std::string& host, int port, std::string& error) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_family = AF_UNSPEC;
  addrinfo* res = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res);
  if (rc != 0) {
    error = "Host " + host + " not found: " + gai_strerror(rc);
    return nullptr;
  }
  return AddrList(res);
}

// Waits for the socket a slice at a time, giving the caller's wait callback its turns.
bool waitFd(LibState& st, int fd, short events, Deadline dl) {
  for (;;) {
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, dl.sliceMs(kWaitSliceMs));
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
    if (rc == 0 && dl.passed()) return false;
    st.idle();
  }
}

// One non-blocking connect attempt to one address.
int connectAddress(LibState& st, const addrinfo* ai, Deadline dl, std::string& error) {
  Fd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
  if (fd.get() < 0) {
    error = std::string("Cannot create a socket: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      error = std::strerror(errno);
      return -1;
    }
    if (!waitFd(st, fd.get(), POLLOUT, dl)) {
      error = "Timed out";
      return -1;
    }
    int soerr = 0;
    socklen_t len = sizeof soerr;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soerr, &len);
    if (soerr != 0) {
      error = std::strerror(soerr);
      return -1;
    }
  }
  return fd.release();
}

// Every address of the host in turn, until one answers or the time is up.
int connectTcp(LibState& st, const std::string& host, int port, Deadline dl, std::string& error) {
  AddrList list = resolve(host, port, error);
  if (!list) return -1;
  std::string last;
  for (const addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
    st.verbose("Connecting to " + hostPort(host, port));
    int fd = connectAddress(st, ai, dl, last);
    if (fd >= 0) return fd;
    if (dl.passed()) break;
  }
  error = "Network error: connecting to " + hostPort(host, port) + " failed: " + last;
  return -1;
}

bool sendAll(LibState& st, int fd, const std::string& data, Deadline dl) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!waitFd(st, fd, POLLOUT, dl)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Reads exactly n bytes; false on end of stream, error or time-out.
bool recvExact(LibState& st, int fd, uint8_t* buf, size_t n, Deadline dl) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::recv(fd, buf + done, n - done, 0);
    if (r > 0) {
      done += static_cast<size_t>(r);
    } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!waitFd(st, fd, POLLIN, dl)) return false;
    } else {
      return false;
    }
  }
  return true;
}

const char* socksReply(uint8_t code) {
  switch (code) {
    case 1:
      return "general SOCKS server failure";
    case 2:
      return "connection not allowed by ruleset";
    case 3:
      return "network unreachable";
    case 4:
      return "host unreachable";
    case 5:
      return "connection refused";
    case 6:
      return "TTL expired";
    case 7:
      return "command not supported";
    case 8:
      return "address type not supported";
    default:
      return "unknown error";
  }
}

}  // namespace

bool socks5(LibState& st, int fd, const std::string& host, int port, Deadline dl,
            std::string& error) {
  const std::string& user = st.conf.getStr(Conf::ProxyUsername);
  const std::string& pass = st.conf.getStr(Conf::ProxyPassword);
  std::string hello =
      user.empty() ? std::string("\x05\x01\x00", 3) : std::string("\x05\x02\x00\x02", 4);
  uint8_t reply[4];
  if (!sendAll(st, fd, hello, dl) || !recvExact(st, fd, reply, 2, dl)) {
    error = "SOCKS proxy: no answer to the greeting";
    return false;
  }
  if (reply[0] != 5 || reply[1] == 0xff) {
    error = "SOCKS proxy: no acceptable authentication method";
    return false;
  }
  if (reply[1] == 2) {
    if (user.size() > 255 || pass.size() > 255) {
      error = "SOCKS proxy: user name or password too long";
      return false;
    }
    std::string auth = "\x01";
    auth += static_cast<char>(user.size());
    auth += user;
    auth += static_cast<char>(pass.size());
    auth += pass;
    if (!sendAll(st, fd, auth, dl) || !recvExact(st, fd, reply, 2, dl)) {
      error = "SOCKS proxy: no answer to the authentication";
      return false;
    }
    if (reply[1] != 0) {
      error = "SOCKS proxy: authentication failed";
      return false;
    }
  } else if (reply[1] != 0) {
    error = "SOCKS proxy: unsupported authentication method";
    return false;
  }

  std::string req("\x05\x01\x00", 3);
  in6_addr a6{};
  in_addr a4{};
  if (inet_pton(AF_INET, host.c_str(), &a4) == 1) {
    req += '\x01';
    req.append(reinterpret_cast<const char*>(&a4), 4);
  } else if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) {
    req += '\x04';
    req.append(reinterpret_cast<const char*>(&a6), 16);
  } else {
    // The proxy resolves the name: it may see names this machine cannot.
    if (host.size() > 255) {
      error = "SOCKS proxy: host name too long";
      return false;
    }
    req += '\x03';
    req += static_cast<char>(host.size());
    req += host;
  }
  req += static_cast<char>((port >> 8) & 0xff);
  req += static_cast<char>(port & 0xff);
  if (!sendAll(st, fd, req, dl) || !recvExact(st, fd, reply, 4, dl)) {
    error = "SOCKS proxy: no answer to the connect request";
    return false;
  }
  if (reply[1] != 0) {
    error = std::string("SOCKS proxy: ") + socksReply(reply[1]);
    return false;
  }
  size_t rest = reply[3] == 1 ? 4 : reply[3] == 4 ? 16 : 0;
  uint8_t skip[258];
  if (reply[3] == 3) {
    if (!recvExact(st, fd, skip, 1, dl)) return false;
    rest = skip[0];
  }
  if (!recvExact(st, fd, skip, rest + 2, dl)) {
    error = "SOCKS proxy: short answer to the connect request";
    return false;
  }
  return true;
}

namespace {

std::string base64(const std::string& in) {
  static const char* tab = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    for (int k = 18; k >= 0; k -= 6) out += tab[(v >> k) & 63];
  }
  if (i + 1 == in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    out += tab[(v >> 18) & 63];
    out += tab[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += tab[(v >> 18) & 63];
    out += tab[(v >> 12) & 63];
    out += tab[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace

bool httpConnect(LibState& st, int fd, const std::string& host, int port, Deadline dl,
                 std::string& error) {
  std::string target = hostPort(host, port);
  std::string req = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
  const std::string& user = st.conf.getStr(Conf::ProxyUsername);
  if (!user.empty()) {
    req += "Proxy-Authorization: Basic " +
           base64(user + ":" + st.conf.getStr(Conf::ProxyPassword)) + "\r\n";
  }
  req += "\r\n";
  if (!sendAll(st, fd, req, dl)) {
    error = "HTTP proxy: cannot send the CONNECT request";
    return false;
  }
  // Byte by byte: whatever follows the header already belongs to the SSH server.
  std::string head;
  uint8_t c;
  while (head.size() < 16384 && (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n"))) {
    if (!recvExact(st, fd, &c, 1, dl)) {
      error = "HTTP proxy: no complete answer to the CONNECT request";
      return false;
    }
    head += static_cast<char>(c);
  }
  std::string status = head.substr(0, head.find("\r\n"));
  size_t sp = status.find(' ');
  int code = sp == std::string::npos ? 0 : std::atoi(status.c_str() + sp + 1);
  if (code < 200 || code > 299) {
    error = "HTTP proxy refused the connection: " + status;
    return false;
  }
  return true;
}

Target parseTarget(const std::string& text) {
  Target t;
  std::string rest = text;
  size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    t.user = rest.substr(0, at);
    rest = rest.substr(at + 1);
  }
  if (!rest.empty() && rest.front() == '[') {
    size_t close = rest.find(']');
    if (close != std::string::npos) {
      t.host = rest.substr(1, close - 1);
      if (close + 1 < rest.size() && rest[close + 1] == ':')
        t.port = std::atoi(rest.c_str() + close + 2);
      return t;
    }
  }
  size_t colon = rest.find(':');
  if (colon != std::string::npos && rest.find(':', colon + 1) == std::string::npos) {
    t.host = rest.substr(0, colon);
    t.port = std::atoi(rest.c_str() + colon + 1);
  } else {
    t.host = rest;
  }
  return t;
}

int openTransport(LibState& st, const std::string& host, int port, Deadline dl,
                  std::string& error) {
  int type = st.conf.getInt(Conf::ProxyType);
  if (type == PROXY_NONE) return connectTcp(st, host, port, dl, error);

  if (type != PROXY_SOCKS5 && type != PROXY_HTTP) {
    error = "Proxy type " + std::to_string(type) +
            " is not supported (only SOCKS 5 and HTTP CONNECT proxies are)";
    return -1;
  }
  const std::string& proxyHost = st.conf.getStr(Conf::ProxyHost);
  if (proxyHost.empty()) {
    error = "Proxy type set but no proxy host given";
    return -1;
  }
  int proxyPort = st.conf.getInt(Conf::ProxyPort);
  if (proxyPort <= 0) proxyPort = type == PROXY_SOCKS5 ? 1080 : 80;
  st.verbose(std::string("Using ") + (type == PROXY_SOCKS5 ? "SOCKS 5" : "HTTP") + " proxy " +
             hostPort(proxyHost, proxyPort));
  Fd fd(connectTcp(st, proxyHost, proxyPort, dl, error));
  if (fd.get() < 0) return -1;
  bool ok = type == PROXY_SOCKS5 ? socks5(st, fd.get(), host, port, dl, error)
                                 : httpConnect(st, fd.get(), host, port, dl, error);
  if (!ok) {
    if (error.empty()) error = "Proxy: connection failed";
    if (dl.passed()) error += " (timed out)";
    return -1;
  }
  return fd.release();
}

}  // namespace belvanto::tglib
