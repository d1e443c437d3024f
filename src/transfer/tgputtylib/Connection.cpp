// Connection set-up: TCP (or proxy), SSH handshake, host key against the
// library's own known-hosts file, login, SFTP start. The caller's callbacks
// are only ever called here between libssh calls, never from inside one.
#include "Connection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Net.h"

namespace belvanto::tglib {

namespace {

// Most secrets asked for in one connect; the caller's cancel ends it sooner.
constexpr int kMaxPrompts = 6;

// Refuses libssh's request for a passphrase: ours are asked for outside libssh.
int noPassphrase(const char*, char*, size_t, int, int, void*) {
  return -1;
}

struct KeyFree {
  void operator()(ssh_key k) const { ssh_key_free(k); }
};
using Key = std::unique_ptr<std::remove_pointer_t<ssh_key>, KeyFree>;

struct SshStringFree {
  void operator()(char* s) const { ssh_string_free_char(s); }
};
using SshText = std::unique_ptr<char, SshStringFree>;

void wipe(std::string& s) {
  if (!s.empty()) explicit_bzero(s.data(), s.size());
  s.clear();
}

std::string lastError(ssh_session s) {
  const char* e = ssh_get_error(s);
  return e && *e ? e : "unknown error";
}

enum class Auth { Success, Partial, Denied, Cancelled, Error };

// Repeats a step of the non-blocking libssh session that answers `again`
// until it is done, waiting for the socket a slice at a time so that the
// caller's wait callback gets its turns. At the deadline the step's `again`
// is returned and timedOut() tells why.
class SshWait {
 public:
  SshWait(LibState& st, ssh_session s) : st_(st), s_(s) {}
  template <class Step>
  int operator()(Step step, int again, Deadline dl) {
    for (;;) {
      int rc = step();
      if (rc != again) return rc;
      if (dl.passed()) {
        timedOut_ = true;
        return rc;
      }
      pollfd p{ssh_get_fd(s_), POLLIN, 0};
      if (ssh_get_poll_flags(s_) & SSH_WRITE_PENDING) p.events |= POLLOUT;
      ::poll(&p, 1, dl.sliceMs(kWaitSliceMs));
      st_.idle();
    }
  }
  // One login step: the server must answer it within timeoutticks.
  template <class Step>
  int auth(Step step) {
    return (*this)(step, SSH_AUTH_AGAIN, Deadline::after(st_.timeoutMs()));
  }
  bool timedOut() const { return timedOut_; }

 private:
  LibState& st_;
  ssh_session s_;
  bool timedOut_ = false;
};

// Asks the caller for one secret; counts the requests of one connect.
class Prompter {
 public:
  Prompter(LibState& st, const char* password) : st_(st), password_(password ? password : "") {}
  ~Prompter() { wipe(password_); }
  Prompter(const Prompter&) = delete;
  Prompter& operator=(const Prompter&) = delete;

  bool ask(const std::string& prompt, bool echo, std::string& answer) {
    if (asked_ >= kMaxPrompts) {
      st_.message(TG_MSG_ERR, "Too many authentication attempts");
      return false;
    }
    ++asked_;
    TTGLibraryContext* ctx = st_.ctx;
    if (ctx->getpassword_callback) {
      bool cancel = false;
      const char* a = ctx->getpassword_callback(prompt.c_str(), echo, &cancel, ctx);
      if (cancel || !a) return false;
      answer = a;
      return true;
    }
    if (usedArgument_) return false;
    usedArgument_ = true;
    answer = password_;
    return true;
  }

 private:
  LibState& st_;
  std::string password_;
  int asked_ = 0;
  bool usedArgument_ = false;
};

Auth mapAuth(int rc) {
  switch (rc) {
    case SSH_AUTH_SUCCESS:
      return Auth::Success;
    case SSH_AUTH_PARTIAL:
      return Auth::Partial;
    case SSH_AUTH_DENIED:
      return Auth::Denied;
    default:
      return Auth::Error;
  }
}

std::string firstField(const std::string& line) {
  size_t end = line.find_first_of(" \t");
  return line.substr(0, end);
}

// Whether a known-hosts file can be read; one that is not there can (it is empty).
bool storeReadable(const std::string& path, std::string& why) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    why = std::strerror(errno);
    return false;
  }
  struct stat sb {};
  bool ok = ::fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
  ::close(fd);
  if (!ok) why = "not a regular file";
  return ok;
}

// Writes `text` to a new file beside `path` (created exclusively, never
// through a link, readable by the user alone) and renames it over `path`.
// Empty when done, else the reason.
std::string replaceFile(const std::string& path, const std::string& text) {
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return std::strerror(errno);
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return {};
  if (ok) err = errno;
  ::unlink(tmp.c_str());
  return std::strerror(err ? err : EIO);
}

bool listHas(const std::string& commaList, const std::string& item) {
  std::stringstream ss(commaList);
  std::string part;
  while (std::getline(ss, part, ',')) {
    if (part == item) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<Connection> Connection::ueberKanal(LibState& st,
                                                  std::unique_ptr<SftpChannel> kanal) {
  auto c = std::make_unique<Connection>(st);
  c->sftp_ = std::move(kanal);
  return c;
}

Connection::~Connection() {
  release();
}

void Connection::release() {
  sftp_.reset();
  if (channel_) {
    ssh_channel_free(channel_);
    channel_ = nullptr;
  }
  if (session_) {
    ssh_disconnect(session_);
    ssh_free(session_);
    session_ = nullptr;
  }
  // libssh leaves a socket it was given open unless the connection broke;
  // close it if it is still the same socket.
  struct stat sb {};
  if (fd_ >= 0 && ::fstat(fd_, &sb) == 0 && sb.st_dev == fdDev_ && sb.st_ino == fdIno_)
    ::close(fd_);
  fd_ = -1;
}

bool Connection::applyOptions(const std::string& host, int port, const std::string& user,
                              Deadline dl) {
  bool ok = true;
  auto opt = [&](ssh_options_e o, const void* v, const char* name) {
    if (ok && ssh_options_set(session_, o, v) < 0) {
      st_.fail(std::string("Invalid setting ") + name + ": " + lastError(session_));
      ok = false;
    }
  };
  int off = 0;
  opt(SSH_OPTIONS_PROCESS_CONFIG, &off, "process_config");
  opt(SSH_OPTIONS_HOST, host.c_str(), "host");
  unsigned int uport = static_cast<unsigned int>(port);
  opt(SSH_OPTIONS_PORT, &uport, "port");
  opt(SSH_OPTIONS_USER, user.c_str(), "username");
  // Never the user's own files: an empty store is /dev/null.
  const std::string& known = st_.conf.getStr(Conf::KnownHostsFile);
  opt(SSH_OPTIONS_KNOWNHOSTS, known.empty() ? "/dev/null" : known.c_str(), "known_hosts_file");
  opt(SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null", "global_known_hosts_file");
  long ms = dl.remainingMs();
  long sec = ms / 1000, usec = (ms % 1000) * 1000;
  opt(SSH_OPTIONS_TIMEOUT, &sec, "timeout");
  opt(SSH_OPTIONS_TIMEOUT_USEC, &usec, "timeout");
  opt(SSH_OPTIONS_COMPRESSION, "no", "compression");
  // libssh writes no log of its own anywhere.
  int quiet = 0;
  opt(SSH_OPTIONS_LOG_VERBOSITY, &quiet, "ssh_log_level");
  return ok;
}

bool Connection::open(const std::string& hostText, const std::string& userArg, int32_t portArg,
                      const char* password) {
  st_.checkpoint("tgsftp_connect");
  Target t = parseTarget(hostText);
  if (t.host.empty()) {
    st_.fail("No host name given");
    return false;
  }
  int port = t.port > 0 ? t.port : portArg > 0 ? portArg : 22;
  if (port > 65535) port = 22;
  std::string user = !userArg.empty() ? userArg : t.user;
  if (user.empty()) {
    st_.fail("No user name given");
    return false;
  }

  Deadline dl = Deadline::after(st_.connectTimeoutMs());
  std::string error;
  int fd = openTransport(st_, t.host, port, dl, error);
  if (fd < 0) {
    st_.fail(error);
    return false;
  }
  session_ = ssh_new();
  if (!session_) {
    ::close(fd);
    st_.fail("Cannot create an SSH session");
    return false;
  }
  struct stat sb {};
  ::fstat(fd, &sb);
  fd_ = fd;
  fdDev_ = sb.st_dev;
  fdIno_ = sb.st_ino;
  socket_t sock = fd;
  ssh_options_set(session_, SSH_OPTIONS_FD, &sock);
  if (!applyOptions(t.host, port, user, dl)) {
    release();
    return false;
  }
  st_.checkpoint("ssh_connect");
  // Non-blocking up to the SFTP start, so that no wait holds the caller.
  ssh_set_blocking(session_, 0);
  SshWait waiter(st_, session_);
  int rc = waiter([&] { return ssh_connect(session_); }, SSH_AGAIN, dl);
  if (rc != SSH_OK) {
    std::string why = waiter.timedOut() ? "no answer in time" : lastError(session_);
    if (dl.passed()) why += " (connection time-out)";
    st_.fail("SSH connection to " + t.host + " port " + std::to_string(port) + " failed: " + why,
             dl.passed() ? TG_ERRKIND_TIMEOUT : TG_ERRKIND_CONNECTION);
    release();
    return false;
  }
  const char* banner = ssh_get_serverbanner(session_);
  st_.verbose(std::string("Server version: ") + (banner ? banner : "?"));
  st_.verbose(std::string("Key exchange ") + ssh_get_kex_algo(session_) + ", cipher " +
              ssh_get_cipher_in(session_) + ", MAC " + ssh_get_hmac_in(session_));

  long ms = st_.timeoutMs();
  long sec = ms / 1000, usec = (ms % 1000) * 1000;
  ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &sec);
  ssh_options_set(session_, SSH_OPTIONS_TIMEOUT_USEC, &usec);

  if (!verifyHostKey(t.host, port) || !authenticate(user, t.host, password) || !startSftp()) {
    release();
    return false;
  }
  return true;
}

bool Connection::verifyHostKey(const std::string& host, int port) {
  st_.checkpoint("verify_host_key");
  ssh_key raw = nullptr;
  if (ssh_get_server_publickey(session_, &raw) != SSH_OK) {
    st_.fail("Cannot read the server's host key: " + lastError(session_));
    return false;
  }
  Key key(raw);
  unsigned char* hash = nullptr;
  size_t hlen = 0;
  if (ssh_get_publickey_hash(key.get(), SSH_PUBLICKEY_HASH_SHA256, &hash, &hlen) != 0) {
    st_.fail("Cannot hash the server's host key");
    return false;
  }
  SshText fp(ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hlen));
  ssh_clean_pubkey_hash(&hash);
  char* b64raw = nullptr;
  ssh_pki_export_pubkey_base64(key.get(), &b64raw);
  SshText b64(b64raw);
  const char* type = ssh_key_type_to_char(ssh_key_type(key.get()));
  std::string fingerprint = fp ? fp.get() : "";
  std::string keystr = b64 ? b64.get() : "";
  std::string keytype = type ? type : "unknown";

  int32_t status = TG_HOSTKEY_UNKNOWN;
  const std::string& known = st_.conf.getStr(Conf::KnownHostsFile);
  if (!known.empty()) {
    // A store that is there but cannot be read would make every key look new.
    std::string why;
    if (!storeReadable(known, why)) {
      st_.fail("Cannot read the known-hosts file " + known + ": " + why, TG_ERRKIND_HOSTKEY);
      return false;
    }
    enum ssh_known_hosts_e k;
    {
      CriticalSection lock(st_);
      k = ssh_session_is_known_server(session_);
    }
    if (k == SSH_KNOWN_HOSTS_OK) status = TG_HOSTKEY_KNOWN;
    if (k == SSH_KNOWN_HOSTS_CHANGED || k == SSH_KNOWN_HOSTS_OTHER) status = TG_HOSTKEY_CHANGED;
    if (k == SSH_KNOWN_HOSTS_ERROR) {
      st_.fail("Cannot read the known-hosts file: " + lastError(session_), TG_ERRKIND_HOSTKEY);
      return false;
    }
  }
  st_.verbose("Host key " + keytype + " " + fingerprint);
  if (status == TG_HOSTKEY_CHANGED) {
    st_.message(TG_MSG_ERR, "WARNING: the host key of " + host +
                                " differs from the stored one; this may be an attack.");
  }

  bool accept = false, store = false;
  TTGLibraryContext* ctx = st_.ctx;
  if (ctx->verify_host_key_callback) {
    accept = ctx->verify_host_key_callback(host.c_str(), port, keytype.c_str(), keystr.c_str(),
                                           fingerprint.c_str(), status, &store, ctx);
  } else if (ctx->get_input_callback) {
    st_.info("Host key of " + host + ": " + keytype + " " + fingerprint +
             (status == TG_HOSTKEY_UNKNOWN   ? " (not stored yet)"
              : status == TG_HOSTKEY_CHANGED ? " (CHANGED)"
                                             : ""));
    st_.info("Store key in cache? (y/n, Return cancels connection)");
    char line[64] = {0};
    if (ctx->get_input_callback(line, sizeof line, ctx)) {
      accept = line[0] == 'y' || line[0] == 'Y' || line[0] == 'n' || line[0] == 'N';
      store = line[0] == 'y' || line[0] == 'Y';
    }
  } else {
    accept = status == TG_HOSTKEY_KNOWN;
  }
  if (!accept) {
    st_.fail("Host key of " + host + " (" + fingerprint + ") not accepted", TG_ERRKIND_HOSTKEY);
    return false;
  }
  return !store || storeHostKey();
}

// Replaces this host's lines in the store with the current key, atomically.
// A key that was to be noted and cannot be fails the connection: the next
// connection would take a changed key for a first one.
bool Connection::storeHostKey() {
  const std::string path = st_.conf.getStr(Conf::KnownHostsFile);
  if (path.empty()) {
    st_.verbose("No known-hosts file set: host key not stored");
    return true;
  }
  char* raw = nullptr;
  if (ssh_session_export_known_hosts_entry(session_, &raw) != SSH_OK || !raw) {
    st_.fail("Cannot format the host key entry: " + lastError(session_), TG_ERRKIND_HOSTKEY);
    return false;
  }
  SshText entryText(raw);
  std::string entry = entryText.get();
  while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.pop_back();
  std::string hostField = firstField(entry);

  std::string why;
  {
    CriticalSection lock(st_);
    std::string kept;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line[0] != '#' && listHas(firstField(line), hostField)) continue;
      kept += line + "\n";
    }
    kept += entry + "\n";
    why = replaceFile(path, kept);
  }
  if (!why.empty()) {
    st_.fail("Cannot write the known-hosts file " + path + ": " + why + "; the host key was not stored",
             TG_ERRKIND_HOSTKEY);
    return false;
  }
  st_.verbose("Host key stored in " + path);
  return true;
}

namespace {

// Public key login with the key file, asking for its passphrase if needed.
Auth keyLogin(LibState& st, ssh_session session, Prompter& prompter, SshWait& wait) {
  const std::string& file = st.conf.getStr(Conf::Keyfile);
  ssh_key raw = nullptr;
  int r = ssh_pki_import_privkey_file(file.c_str(), nullptr, noPassphrase, nullptr, &raw);
  if (r == SSH_EOF) {
    st.message(TG_MSG_ERR, "Cannot read key file " + file);
    return Auth::Denied;
  }
  std::string pass;
  while (r != SSH_OK) {
    if (!prompter.ask("Passphrase for key \"" + file + "\": ", false, pass)) return Auth::Cancelled;
    r = ssh_pki_import_privkey_file(file.c_str(), pass.c_str(), noPassphrase, nullptr, &raw);
    wipe(pass);
    if (r != SSH_OK) st.message(TG_MSG_ERR, "Wrong passphrase for key " + file);
  }
  Key key(raw);
  st.verbose("Trying public key authentication with " + file);
  return mapAuth(wait.auth([&] { return ssh_userauth_publickey(session, nullptr, key.get()); }));
}

// Keyboard-interactive login: every prompt goes to the caller; a refused round
// is tried again until the caller cancels.
Auth kbdintLogin(LibState& st, ssh_session session, Prompter& prompter, SshWait& wait) {
  auto step = [&] { return wait.auth([&] { return ssh_userauth_kbdint(session, nullptr, nullptr); }); };
  for (int round = 0; round < 50; ++round) {
    int r = step();
    bool asked = false;
    for (int infos = 0; r == SSH_AUTH_INFO && infos < 50; ++infos) {
      const char* name = ssh_userauth_kbdint_getname(session);
      const char* instruction = ssh_userauth_kbdint_getinstruction(session);
      if (name && *name) st.info(name);
      if (instruction && *instruction) st.info(instruction);
      int n = ssh_userauth_kbdint_getnprompts(session);
      for (int i = 0; i < n; ++i) {
        char echo = 0;
        const char* prompt = ssh_userauth_kbdint_getprompt(session, i, &echo);
        std::string answer;
        if (!prompter.ask(prompt ? prompt : "Password: ", echo != 0, answer))
          return Auth::Cancelled;
        asked = true;
        ssh_userauth_kbdint_setanswer(session, i, answer.c_str());
        wipe(answer);
      }
      r = step();
    }
    Auth a = mapAuth(r);
    if (a != Auth::Denied || !asked) return a;
    st.message(TG_MSG_ERR, "Access denied");
  }
  return Auth::Denied;
}

// Password login, asked for again after each refusal until the caller cancels.
Auth passwordLogin(LibState& st, ssh_session session, Prompter& prompter,
                   const std::string& prompt, SshWait& wait) {
  for (;;) {
    std::string pw;
    if (!prompter.ask(prompt, false, pw)) return Auth::Cancelled;
    int r = wait.auth([&] { return ssh_userauth_password(session, nullptr, pw.c_str()); });
    wipe(pw);
    Auth a = mapAuth(r);
    if (a != Auth::Denied) return a;
    st.message(TG_MSG_ERR, "Access denied");
  }
}

}  // namespace

bool Connection::authenticate(const std::string& user, const std::string& host,
                              const char* password) {
  st_.checkpoint("authenticate");
  SshWait wait(st_, session_);
  auto failAuth = [&](SshWait& w) {
    if (w.timedOut())
      st_.fail("Timeout: the server did not answer the login within " +
                   std::to_string(st_.timeoutMs()) + " ms",
               TG_ERRKIND_TIMEOUT);
    else
      st_.fail("Authentication failed: " + lastError(session_));
  };
  int rc = wait.auth([&] { return ssh_userauth_none(session_, nullptr); });
  SshText banner(ssh_get_issue_banner(session_));
  if (banner && *banner) st_.info(banner.get());
  if (rc == SSH_AUTH_SUCCESS) return true;
  if (rc == SSH_AUTH_ERROR || rc == SSH_AUTH_AGAIN) {
    failAuth(wait);
    return false;
  }
  // Methods in OpenSSH's order; each refused one is not offered again.
  Prompter prompter(st_, password);
  bool triedKey = false, kbdintDenied = false, passwordDenied = false;
  for (;;) {
    int methods = ssh_userauth_list(session_, nullptr);
    Auth result;
    if (!st_.conf.getStr(Conf::Keyfile).empty() && (methods & SSH_AUTH_METHOD_PUBLICKEY) &&
        !triedKey) {
      triedKey = true;
      result = keyLogin(st_, session_, prompter, wait);
    } else if ((methods & SSH_AUTH_METHOD_INTERACTIVE) && !kbdintDenied) {
      result = kbdintLogin(st_, session_, prompter, wait);
      kbdintDenied = result == Auth::Denied;
    } else if ((methods & SSH_AUTH_METHOD_PASSWORD) && !passwordDenied) {
      result = passwordLogin(st_, session_, prompter, user + "@" + host + "'s password: ", wait);
      passwordDenied = result == Auth::Denied;
    } else {
      st_.fail("Authentication failed: no more authentication methods to try for " + user);
      return false;
    }
    switch (result) {
      case Auth::Success:
        st_.verbose("Access granted");
        return true;
      case Auth::Partial:
        st_.verbose("Further authentication required");
        break;
      case Auth::Denied:
        break;
      case Auth::Cancelled:
        st_.fail("Authentication cancelled: password or passphrase refused or not given for " +
                 user + "@" + host);
        return false;
      case Auth::Error:
        failAuth(wait);
        return false;
    }
  }
}

bool Connection::startSftp() {
  st_.checkpoint("start_sftp");
  channel_ = ssh_channel_new(session_);
  SshWait waiter(st_, session_);
  Deadline dl = Deadline::after(st_.timeoutMs());
  if (!channel_ || waiter([&] { return ssh_channel_open_session(channel_); }, SSH_AGAIN, dl) !=
                       SSH_OK) {
    st_.fail("Cannot open an SSH channel: " +
                 (waiter.timedOut() ? std::string("no answer in time") : lastError(session_)),
             waiter.timedOut() ? TG_ERRKIND_TIMEOUT : TG_ERRKIND_CONNECTION);
    return false;
  }
  int rc = waiter([&] { return ssh_channel_request_subsystem(channel_, "sftp"); }, SSH_AGAIN, dl);
  // From here the channel's own waits are cut into slices (SftpChannel).
  ssh_set_blocking(session_, 1);
  if (rc != SSH_OK) {
    st_.fail("The server refused the SFTP subsystem: " + lastError(session_));
    return false;
  }
  sftp_ = std::make_unique<SftpChannel>(st_, session_, channel_);
  if (!sftp_->init(Deadline::after(st_.timeoutMs()))) return false;

  // Home folder and the server's limits in one round trip.
  SftpChannel& s = *sftp_;
  s.start(fxp::Realpath).str(".");
  uint32_t homeId = s.finish();
  uint32_t limitsId = 0;
  if (s.hasExtension("limits@openssh.com")) {
    s.start(fxp::Extended).str("limits@openssh.com");
    limitsId = s.finish();
  }
  Reply home, limits;
  if (!s.wait(homeId, home) || (limitsId && !s.wait(limitsId, limits))) return false;
  Reader r = home.reader();
  if (home.type != fxp::Name || r.u32() < 1) {
    st_.fail("The server did not tell the home folder");
    return false;
  }
  std::string dir(r.str());
  st_.setHomedir(dir);
  st_.setPwd(dir);

  uint64_t maxRead = 0, maxWrite = 0;
  if (limitsId && limits.type == fxp::ExtendedReply) {
    Reader l = limits.reader();
    l.u64();
    maxRead = l.u64();
    maxWrite = l.u64();
    if (!l.ok()) maxRead = maxWrite = 0;
  }
  // A block must fit the largest packet we accept, with room for the header.
  constexpr int32_t most = std::min<int32_t>(255 * 1024, kMaxPacket - 1024);
  // A server that tells no limits may refuse or cut larger requests: the size
  // every server takes.
  auto fit = [most](int32_t wanted, uint64_t limit) {
    uint64_t v = static_cast<uint64_t>(std::clamp(wanted, 1024, most));
    if (limit == 0) v = std::min<uint64_t>(v, 32768);
    if (limit > 0 && limit < v) v = limit;
    return static_cast<uint32_t>(v);
  };
  readBlock_ = fit(st_.conf.getInt(Conf::SftpReadBlock), maxRead);
  writeBlock_ = fit(32768, maxWrite);
  st_.verbose("Remote working directory is " + dir);
  return true;
}

}  // namespace belvanto::tglib
