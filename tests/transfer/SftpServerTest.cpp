// The SFTP session and its library against the loopback SFTP server: logins,
// folders, renames and every kind of transfer, the block-wise download's progress,
// cancelling and stall time-out, proxies, host keys, and servers that stall,
// die or answer reads short in the middle of a download.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <sstream>

#include "support/TestServer.h"
#include "support/TestSupport.h"
#include "transfer/tgputtysftp.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::TestServer;

constexpr const char* kUser = "mitglied";
constexpr const char* kPassword = "Pw-7f3a";
constexpr const char* kWrongPassword = "Falsch-9c1";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The message of the TGPuttySFTPException that `step` raises, empty when it raises none.
template <class Step>
std::string errorOf(Step step) {
  try {
    step();
  } catch (const TGPuttySFTPException& e) {
    return e.what();
  }
  return {};
}

class SftpServerTest : public ::testing::Test {
 protected:
  SftpServerTest() {
    std::mt19937 gen(42);
    big_.resize(3 << 20);
    for (auto& c : big_) c = static_cast<char>(gen());
    test::writeBytes(root() / "home" / "willkommen.txt", "Hallo\r\n");
    test::writeBytes(root() / "ZRBELEG" / "Buchungen_240517.csv", "Kopf\r\n");
    test::writeBytes(root() / "ZRBELEG" / "Index_240517.csv", "Kopf\r\n");
    test::writeBytes(root() / "ZRBELEG" / "R-1001.pdf", "%PDF-1.4\n");
    test::writeBytes(root() / "ZRBELEG" / "gross.bin", big_);
    fs::create_directories(root() / "ZRABR");
    fs::create_directories(root() / "REMADV");
    fs::create_directories(local());
  }

  fs::path root() const { return tmp_ / "root"; }
  fs::path local() const { return tmp_ / "lokal"; }

  std::unique_ptr<TestServer> serve(const std::vector<std::string>& faults = {}) {
    std::vector<std::string> args{"--root", root().string(), "--user",
                                  kUser,    "--password",    kPassword};
    args.insert(args.end(), faults.begin(), faults.end());
    return std::make_unique<TestServer>("sftp_server.py", args);
  }

  // A session for `server` that accepts its host key and keeps it in the test's own store.
  std::unique_ptr<TTGPuttySFTP> session(const TestServer& server,
                                        const std::string& password = kPassword) {
    auto s = std::make_unique<TTGPuttySFTP>(true);
    s->setHostName(server.address());
    s->setUserName(kUser);
    s->setPassword(password);
    s->SetStringConfigValue("known_hosts_file", (tmp_ / "known_hosts").string());
    s->OnVerifyHostKey = [](const char*, int32_t, const char*, int32_t, bool& store) {
      store = true;
      return true;
    };
    return s;
  }

  test::TempDir tmp_;
  std::string big_;
};

TEST_F(SftpServerTest, LoginsAndTheirFailures) {
  struct Row {
    std::vector<std::string> serverArgs;
    const char* password;
    const char* serverSays;
    int times;  // the fourth password request is refused, so three wrong answers
  };
  const Row rows[] = {
      {{"--auth", "password"}, kPassword, "auth password ok", 1},
      {{"--auth", "keyboard-interactive"}, kPassword, "auth keyboard-interactive ok", 1},
      {{"--auth", "password"}, kWrongPassword, "auth password failed", 3},
      {{"--auth", "keyboard-interactive"}, kWrongPassword, "auth keyboard-interactive failed", 3},
      {{"--refuse-sftp"}, kPassword, "subsystem refused sftp", 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.serverSays);
    auto server = serve(r.serverArgs);
    auto s = session(*server, r.password);
    std::string messages;
    s->OnMessage = [&](const std::string& m, bool) { messages += m; };
    if (std::string(r.serverSays).ends_with(" ok")) {
      s->Connect();
      EXPECT_TRUE(s->Connected());
      EXPECT_EQ(s->HomeDir(), "/home");
      EXPECT_EQ(s->WorkDir(), "/home");
    } else {
      const auto error = errorOf([&] { s->Connect(); });
      EXPECT_TRUE(error.starts_with("tgsftp_connect")) << error;
      EXPECT_FALSE(s->Connected());
      EXPECT_EQ((error + messages + s->LastMessages()).find(r.password), std::string::npos);
      if (r.times == 3) {
        EXPECT_NE(messages.find("Password was rejected"), std::string::npos);
      }
    }
    EXPECT_EQ(count(server->output(), r.serverSays), r.times) << server->output();
  }
}

TEST_F(SftpServerTest, FoldersListingsAndEveryKindOfTransfer) {
  auto server = serve();
  auto s = session(*server);
  int deliveries = 0;
  std::vector<std::string> names;
  s->OnListing = [&](const fxp_names* n) {
    ++deliveries;
    names.clear();
    for (int i = 0; i < n->nnames; ++i) names.push_back(n->names[i].filename);
    return true;
  };
  s->Connect();
  s->ChangeDir("../ZRBELEG");
  EXPECT_EQ(s->WorkDir(), "/ZRBELEG");
  s->ListDir(".");
  EXPECT_EQ(deliveries, 1);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Buchungen_240517.csv", "Index_240517.csv",
                                             "R-1001.pdf", "gross.bin"}));

  s->DownloadFile("gross.bin", (local() / "gross.bin").string(), false);
  EXPECT_EQ(test::readBytes(local() / "gross.bin"), big_);
  std::stringstream down;
  IostreamTransferStream downStream(down);
  s->DownloadStream("gross.bin", downStream, false);
  EXPECT_EQ(down.str(), big_);

  s->UploadFile((local() / "gross.bin").string(), "hoch.bin", false);
  EXPECT_EQ(test::readBytes(root() / "ZRBELEG" / "hoch.bin"), big_);

  const std::string moved = "../ZRABR/umbenannt.bin";
  s->Move("hoch.bin", moved);
  EXPECT_FALSE(fs::exists(root() / "ZRBELEG" / "hoch.bin"));
  s->SetUnixMode(moved, 0640);
  s->SetModifiedDate(moved, Zeitpunkt{{2024, 5, 17}, 12, 30, 0}, true);
  fxp_attrs attrs{};
  s->GetStat(moved, attrs);
  EXPECT_EQ(attrs.size, big_.size());
  EXPECT_EQ(attrs.mtime, 1715949000u);  // 2024-05-17 12:30:00 UTC
  struct stat st {};
  ASSERT_EQ(::stat((root() / "ZRABR" / "umbenannt.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_mtime, 1715949000);
  s->DeleteFile(moved);
  EXPECT_FALSE(fs::exists(root() / "ZRABR" / "umbenannt.bin"));

  s->MakeDir("neu");
  EXPECT_TRUE(fs::is_directory(root() / "ZRBELEG" / "neu"));
  s->RemoveDir("neu");
  EXPECT_FALSE(fs::exists(root() / "ZRBELEG" / "neu"));

  // Failures carry the server's status (2: no such file) and leave the folder as it was.
  const auto error = errorOf([&] { s->DeleteFile("fehlt.bin"); });
  EXPECT_TRUE(error.starts_with("tgsftp_rm: Error 2, ")) << error;
  EXPECT_THROW(s->ChangeDir("gross.bin"), TGPuttySFTPException);
  EXPECT_EQ(s->WorkDir(), "/ZRBELEG");
}

// A rename replaces an existing target only in one step, where the server
// offers posix-rename; without it the target stays as it was, whatever made
// the rename fail.
TEST_F(SftpServerTest, MoveExReplacesTheTargetOnlyInOneStep) {
  struct Row {
    const char* name;
    bool posixRename;  // the server offers posix-rename@openssh.com
    int32_t flags;
    bool sourceThere, targetThere;
    bool moves;  // else the call fails and both files stay as they were
  };
  const Row rows[] = {
      {"overwrite", true, TG_RENAME_OVERWRITE, true, true, true},
      {"native", true, TG_RENAME_NATIVE, true, true, true},
      {"no flags, target there", true, 0, true, true, false},
      {"no posix-rename, overwrite, no target", false, TG_RENAME_OVERWRITE, true, false, true},
      {"no posix-rename, overwrite, target there", false, TG_RENAME_OVERWRITE, true, true, false},
      {"no posix-rename, overwrite, no source", false, TG_RENAME_OVERWRITE, false, true, false},
      {"no posix-rename, atomic", false, TG_RENAME_OVERWRITE | TG_RENAME_ATOMIC, true, false,
       false},
  };
  auto posix = serve();
  auto plain = serve({"--no-posix-rename"});
  auto withPosix = session(*posix);
  auto withoutPosix = session(*plain);
  withPosix->Connect();
  withoutPosix->Connect();
  int i = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string n = std::to_string(++i);
    const fs::path from = root() / "ZRABR" / ("quelle-" + n), to = root() / "ZRABR" / ("ziel-" + n);
    if (r.sourceThere) test::writeBytes(from, "neu");
    if (r.targetThere) test::writeBytes(to, "alt");
    auto& s = r.posixRename ? withPosix : withoutPosix;
    const auto error =
        errorOf([&] { s->MoveEx("../ZRABR/quelle-" + n, "../ZRABR/ziel-" + n, r.flags); });
    EXPECT_EQ(error.empty(), r.moves) << error;
    EXPECT_EQ(fs::exists(from), r.sourceThere && !r.moves);
    const char* expected = r.moves ? "neu" : r.targetThere ? "alt" : "";
    EXPECT_EQ(fs::exists(to) ? test::readBytes(to) : "", expected);
  }
}

// Uploads from a stream and through the queued transfer arrive whole, each
// block at its offset; appending continues the remote file from its end.
TEST_F(SftpServerTest, StreamAndQueuedUploadsArriveWhole) {
  enum class How { Stream, Queued };
  struct Row {
    const char* name;
    How how;
    bool append;        // stream: continue the remote file
    bool lastFirst;     // queued: blocks from the end backwards
    int32_t openFlags;  // queued
    bool arrives;
  };
  constexpr int32_t kWrite = SSH_FXF_WRITE | SSH_FXF_CREAT | SSH_FXF_TRUNC;
  const Row rows[] = {
      {"stream", How::Stream, false, false, 0, true},
      {"stream appended", How::Stream, true, false, 0, true},
      {"queued", How::Queued, false, false, kWrite, true},
      {"queued, last block first", How::Queued, false, true, kWrite, true},
      {"queued to a file opened for reading", How::Queued, false, false, SSH_FXF_READ, false},
  };
  auto server = serve();
  auto s = session(*server);
  s->Connect();
  s->ChangeDir("../ZRABR");
  int64_t reported = -1;
  s->OnProgress = [&](int64_t bytes, bool isupload) {
    EXPECT_TRUE(isupload);
    reported = bytes;
    return true;
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const auto target = root() / "ZRABR" / "hoch.bin";
    test::writeBytes(target, "Kopf\r\n");
    if (r.how == How::Stream) {
      std::stringstream data(big_);
      IostreamTransferStream stream(data);
      s->UploadStream("hoch.bin", stream, r.append);
      EXPECT_EQ(reported, static_cast<int64_t>(big_.size()));
    } else {
      TGFileHandle* fh = s->OpenFile("hoch.bin", r.openFlags, nullptr);
      ASSERT_NE(fh, nullptr) << s->ErrorMessage();
      TGTransfer* x = s->xfer_upload_init(fh, 0);
      ASSERT_NE(x, nullptr);
      constexpr size_t kBlock = 32768;  // more blocks than the window holds
      std::vector<size_t> offsets;
      for (size_t o = 0; o < big_.size(); o += kBlock) offsets.push_back(o);
      if (r.lastFirst) std::reverse(offsets.begin(), offsets.end());
      for (size_t o : offsets) {
        // Waits for room; a failed transfer is done and takes no more blocks.
        while (!s->xfer_upload_ready(x) && !s->xfer_done(x)) {
        }
        s->xfer_upload_data(x, big_.data() + o,
                            static_cast<int32_t>(std::min(kBlock, big_.size() - o)), o);
      }
      EXPECT_EQ(s->xfer_ensuredone(x), r.arrives);
      EXPECT_TRUE(s->xfer_done(x));
      s->xfer_cleanup(x);
      EXPECT_EQ(s->CloseFile(fh), 1);
    }
    const std::string expected = !r.arrives ? "Kopf\r\n" : r.append ? "Kopf\r\n" + big_ : big_;
    const std::string got = test::readBytes(target);
    EXPECT_TRUE(got == expected) << got.size() << " bytes";
  }
}

TEST_F(SftpServerTest, BlockwiseDownloadReportsCancelsAbortsAndTimesOut) {
  enum class End { Whole, Raises, Quietly };
  struct Row {
    const char* name;
    std::vector<std::string> serverArgs;
    size_t stopAtReport;  // 0: never
    bool byAborted;       // stop by setting Aborted rather than answering false
    End end;
    const char* lastMessages;
  };
  const Row rows[] = {
      {"whole", {}, 0, false, End::Whole, ""},
      {"short reads", {"--short-reads", "1000"}, 0, false, End::Whole, ""},
      {"cancelled", {}, 2, false, End::Raises, "Canceling ..."},
      {"aborted", {}, 2, true, End::Quietly, ""},
      {"stalled", {"--stall-after", "1000000"}, 0, false, End::Raises, "Timeout error, no more"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    auto server = serve(r.serverArgs);
    auto s = session(*server);
    s->Connect();
    s->ChangeDir("../ZRBELEG");
    s->setTimeoutTicks(1500);
    s->setProgressAfterBytes(0);
    std::vector<int64_t> reports;
    s->OnProgress = [&](int64_t bytes, bool isupload) {
      EXPECT_FALSE(isupload);
      reports.push_back(bytes);
      if (reports.size() != r.stopAtReport) return true;
      if (r.byAborted) s->setAborted(true);
      return r.byAborted;
    };
    std::stringstream out;
    IostreamTransferStream stream(out);
    const auto error = errorOf([&] { s->DownloadStreamP("gross.bin", stream, false); });
    EXPECT_EQ(!error.empty(), r.end == End::Raises) << error;
    EXPECT_NE(s->LastMessages().find(r.lastMessages), std::string::npos) << s->LastMessages();
    const std::string got = out.str();
    EXPECT_EQ(got, big_.substr(0, got.size()));
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    if (r.end == End::Whole) {
      EXPECT_EQ(got.size(), big_.size());
      ASSERT_GT(reports.size(), 1u);
      EXPECT_EQ(reports.back(), static_cast<int64_t>(big_.size()));
    } else {
      EXPECT_LT(got.size(), big_.size());
    }
  }
}

TEST_F(SftpServerTest, DownloadToFileArrivesWholeOrNotAtAll) {
  struct Row {
    std::vector<std::string> serverArgs;
    const char* serverSays;  // empty: the file arrives
  };
  const Row rows[] = {
      {{"--short-reads", "1000"}, ""},
      {{"--kill-after", "1000000"}, "killed at"},
      {{"--stall-after", "1000000"}, "stalled at"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.serverArgs[0]);
    auto server = serve(r.serverArgs);
    auto s = session(*server);
    s->setTimeoutTicks(1500);
    // Every wait lets the caller's window in, also a wait that ends in a stall.
    auto letzte = std::chrono::steady_clock::now();
    auto laengste = std::chrono::steady_clock::duration::zero();
    s->OnWait = [&] {
      const auto jetzt = std::chrono::steady_clock::now();
      laengste = std::max(laengste, jetzt - letzte);
      letzte = jetzt;
    };
    s->Connect();
    s->ChangeDir("../ZRBELEG");
    letzte = std::chrono::steady_clock::now();
    const auto target = local() / "gross.bin";
    if (*r.serverSays == '\0') {
      s->DownloadFile("gross.bin", target.string(), false);
      EXPECT_EQ(test::readBytes(target), big_);
    } else {
      const auto error = errorOf([&] { s->DownloadFile("gross.bin", target.string(), false); });
      EXPECT_TRUE(error.starts_with("tgsftp_getfile")) << error;
      EXPECT_TRUE(server->waitForOutput(r.serverSays));
      // Neither the target nor a temporary file stays behind.
      for (const auto& left : fs::directory_iterator(local())) ADD_FAILURE() << left.path();
      if (std::string(r.serverSays) == "stalled at") {
        EXPECT_EQ(s->ErrorKind(), TG_ERRKIND_TIMEOUT);
        EXPECT_LE(laengste, std::chrono::milliseconds(100));
      }
    }
    fs::remove_all(local());
    fs::create_directories(local());
  }
}

// A batch reports each file once, in the order given, whatever becomes of
// it: fetched whole, missing, larger than allowed; removing asks first.
TEST_F(SftpServerTest, BatchesReportEveryFileInOrder) {
  auto server = serve();
  auto s = session(*server);
  s->Connect();
  s->ChangeDir("../ZRBELEG");
  const std::vector<TTGPuttySFTP::BatchItem> items = {
      {"R-1001.pdf", (local() / "a").string()},
      {"fehlt.pdf", (local() / "b").string()},
      {"gross.bin", (local() / "c").string(), 1000},
      {"gross.bin", (local() / "d").string()},
  };
  std::vector<std::string> got;
  s->DownloadFiles(items, [&](size_t i, const TTGPuttySFTP::BatchResult& r) {
    got.push_back(std::to_string(i) + ":" + std::to_string(r.result) + ":" +
                  std::to_string(r.errorKind) + ":" + std::to_string(r.errorCode));
    return true;
  });
  EXPECT_EQ(got, (std::vector<std::string>{"0:1:0:-1000", "1:0:1:2", "2:0:5:-1000", "3:1:0:-1000"}));
  EXPECT_EQ(test::readBytes(local() / "a"), "%PDF-1.4\n");
  EXPECT_EQ(test::readBytes(local() / "d"), big_);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(local())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a", "d"}));

  got.clear();
  s->DeleteFiles(
      {"R-1001.pdf", "fehlt.pdf", "gross.bin"}, [](size_t i, const fxp_attrs&) { return i == 0; },
      [&](size_t i, const TTGPuttySFTP::BatchResult& r) {
        got.push_back(std::to_string(i) + ":" + std::to_string(r.result));
        return true;
      });
  EXPECT_EQ(got, (std::vector<std::string>{"0:1", "1:0", "2:2"}));
  EXPECT_FALSE(fs::exists(root() / "ZRBELEG" / "R-1001.pdf"));
  EXPECT_TRUE(fs::exists(root() / "ZRBELEG" / "gross.bin"));
}

TEST_F(SftpServerTest, ConnectsThroughProxies) {
  struct Row {
    TProxyTypes type;
    bool withLogin;
    const char* password;
    const char* proxySays;  // empty: no tunnel to look for
    bool connects;
  };
  const Row rows[] = {
      {PROXY_SOCKS5, false, "", "socks5 connect", true},
      {PROXY_SOCKS5, true, "Proxy-Pw", "socks5 connect", true},
      {PROXY_HTTP, true, "Proxy-Pw", "http connect", true},
      {PROXY_SOCKS5, true, "falsch", "socks5 login refused", false},
      {PROXY_SOCKS4, false, "", "", false},  // not offered: an error, not a direct connection
  };
  auto server = serve();
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + r.proxySays);
    std::vector<std::string> proxyArgs;
    if (r.withLogin) proxyArgs = {"--user", "proxy", "--password", "Proxy-Pw"};
    TestServer proxy("proxy.py", proxyArgs);
    auto s = session(*server);
    s->setProxyType(r.type);
    s->setProxyHost("127.0.0.1");
    s->setProxyPort(proxy.port());
    s->setProxyUserName(r.withLogin ? "proxy" : "");
    s->setProxyPassword(r.password);
    if (r.connects) {
      s->Connect();
      s->ListDir(".");
      EXPECT_TRUE(proxy.waitForOutput(std::string(r.proxySays) +
                                      " 127.0.0.1:" + std::to_string(server->port())))
          << proxy.output();
    } else {
      EXPECT_THROW(s->Connect(), TGPuttySFTPException);
      if (*r.proxySays) {
        EXPECT_TRUE(proxy.waitForOutput(r.proxySays)) << proxy.output();
      }
    }
  }
  EXPECT_EQ(count(server->output(), "auth "), 3);  // only the tunnels reached the server
}

TEST_F(SftpServerTest, HostKeyIsUnknownThenKnownThenChanged) {
  struct Seen {
    std::string fingerprint;
    int32_t status;
  };
  std::vector<Seen> seen;
  bool accept = true;
  auto judge = [&](const char*, int32_t, const char* fingerprint, int32_t status, bool& store) {
    seen.push_back({fingerprint, status});
    store = true;
    return accept;
  };
  auto fingerprintOf = [](const TestServer& server) {
    const auto out = server.output();
    const auto at = out.find("hostkey ") + 8;
    return out.substr(at, out.find('\n', at) - at);
  };

  auto a = serve();
  auto s = session(*a);
  s->OnVerifyHostKey = judge;
  s->Connect();
  s->Disconnect();
  s->Connect();
  s->Disconnect();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].fingerprint.starts_with("SHA256:"));
  EXPECT_EQ(seen[0].fingerprint, fingerprintOf(*a));
  EXPECT_EQ(seen[0].status, TG_HOSTKEY_UNKNOWN);
  EXPECT_EQ(seen[1].fingerprint, fingerprintOf(*a));
  EXPECT_EQ(seen[1].status, TG_HOSTKEY_KNOWN);

  // A rejected key ends the login and is not stored, even when asked to.
  auto b = serve();
  auto t = session(*b);
  t->OnVerifyHostKey = judge;
  accept = false;
  EXPECT_THROW(t->Connect(), TGPuttySFTPException);
  EXPECT_FALSE(t->Connected());
  EXPECT_EQ(seen.back().status, TG_HOSTKEY_UNKNOWN);
  const auto store = tmp_ / "known_hosts";
  std::string known = test::readBytes(store);
  const std::string portA = "]:" + std::to_string(a->port()) + " ";
  const std::string portB = "]:" + std::to_string(b->port()) + " ";
  EXPECT_EQ(known.find(portB), std::string::npos) << known;

  // A's key stored for B's address: B's own key now shows as changed.
  const auto at = known.find(portA);
  ASSERT_NE(at, std::string::npos) << known;
  test::writeBytes(store, known.replace(at, portA.size(), portB));
  EXPECT_THROW(t->Connect(), TGPuttySFTPException);
  EXPECT_EQ(seen.back().fingerprint, fingerprintOf(*b));
  EXPECT_EQ(seen.back().status, TG_HOSTKEY_CHANGED);
}

}  // namespace
}  // namespace belvanto
