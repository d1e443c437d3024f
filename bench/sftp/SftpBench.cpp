// Download throughput of tgputtylib against OpenSSH's own sftp client, both
// fetching from the same local OpenSSH server: one big file and a folder of
// many small ones, each with and without flushing to disk. Every download runs
// in a child process of its own so that both sides are measured alike (wall
// time, CPU time, peak memory). run-bench sets up the server and the data;
// with --roundtrip the program instead walks the library through every
// operation once against that server (used by scripts/openssh-interop).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tgputtylib.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string user;
  std::string key;
  std::string password;
  std::string knownHosts;
  std::string remoteRoot;  // the user's remote folder as a local path, for checks
  std::string local = "/tmp/bench-sftp";
  std::string sftp = "/usr/bin/sftp";
  int rounds = 3;
  bool roundtrip = false;
  std::string only;  // run only the cases whose name holds this (and the connection set-up)
};

struct Sample {
  double wall = 0, cpu = 0;
  long rssKb = 0;
  bool ok = false;
};

enum class Kind { Big, Small, SmallBatch, ConnectOnly };

struct Case {
  const char* name;
  Kind kind;
  bool fsync;
};

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Sample finish(pid_t pid, double start) {
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Sample s;
  s.wall = now() - start;
  s.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  s.rssKb = ru.ru_maxrss;
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return s;
}

// ------------------------------------------------------------ the library

std::vector<std::string> gNames;
bool collectNames(const fxp_names* n, TTGLibraryContext*) {
  for (int i = 0; i < n->nnames; ++i) {
    std::string name = n->names[i].filename;
    if (name != "." && name != "..") gNames.push_back(name);
  }
  return true;
}
bool acceptKnown(const char*, int32_t, const char*, const char*, const char*, int32_t status, bool*,
                 TTGLibraryContext*) {
  return status == TG_HOSTKEY_KNOWN;
}
void printErrors(const char* msg, uint8_t kind, TTGLibraryContext*) {
  if (kind == TG_MSG_ERR) std::fprintf(stderr, "tgputtylib: %s", msg);
}

int confIndex(const char* name) {
  const int32_t *types, *subtypes;
  const char* const* names;
  int32_t count;
  tgputty_getconfigarrays(&types, &subtypes, &names, &count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(names[i], name) == 0) return i;
  std::fprintf(stderr, "no setting %s\n", name);
  std::exit(2);
}

void initContext(TTGLibraryContext& ctx, const Options& o) {
  std::memset(&ctx, 0, sizeof ctx);
  ctx.structsize = sizeof ctx;
  ctx.timeoutticks = 60000;
  ctx.connectiontimeoutticks = 60000;
  ctx.ls_callback = collectNames;
  ctx.verify_host_key_callback = acceptKnown;
  ctx.printmessage_callback = printErrors;
  tgputty_initcontext(false, &ctx);
  tgputty_conf_set_str(confIndex("known_hosts_file"), o.knownHosts.c_str(), &ctx);
  tgputty_setkeyfile(o.key.c_str(), &ctx);
}

// One download by the library; the child's exit status tells success.
int oursChild(const Options& o, const Case& c, const std::string& target) {
  TTGLibraryContext ctx;
  initContext(ctx, o);
  tgputty_conf_set_bool(confIndex("local_fsync"), c.fsync, &ctx);
  std::string host = o.host + ":" + std::to_string(o.port);
  if (tgsftp_connect(host.c_str(), o.user.c_str(), 0, "", &ctx) != 0) return 1;
  bool ok = true;
  if (c.kind == Kind::Big) {
    ok = tgsftp_getfile("big.bin", target.c_str(), false, &ctx) == 1;
  } else if (c.kind == Kind::Small) {
    ok = tgsftp_ls("small", &ctx) == 1;
    fs::create_directories(target);
    for (const auto& n : gNames) {
      std::string remote = "small/" + n, local = target + "/" + n;
      ok = ok && tgsftp_getfile(remote.c_str(), local.c_str(), false, &ctx) == 1;
    }
  } else if (c.kind == Kind::SmallBatch) {
    // The run's way: one listing, then the whole folder as one batch, in
    // reads as large as the server takes.
    tgputty_conf_set_int(confIndex("sftp_read_block"), 255 * 1024, &ctx);
    ok = tgsftp_cd("small", &ctx) == 1 && tgsftp_ls(".", &ctx) == 1;
    fs::create_directories(target);
    std::vector<std::string> locals;
    for (const auto& n : gNames) locals.push_back(target + "/" + n);
    std::vector<tg_batch_entry> entries(gNames.size());
    for (size_t i = 0; i < gNames.size(); ++i) {
      entries[i].remote = gNames[i].c_str();
      entries[i].local = locals[i].c_str();
      entries[i].maxsize = UINT64_MAX;
    }
    static bool allDone;
    allDone = true;
    ok = ok && tgsftp_getfiles(static_cast<int32_t>(entries.size()), entries.data(),
                               [](int32_t, tg_batch_entry* e, TTGLibraryContext*) {
                                 allDone = allDone && e->result == TG_BATCH_DONE;
                                 return true;
                               },
                               &ctx) == 1;
    ok = ok && allDone;
  }
  tgsftp_close(&ctx);
  tgputtyfree(&ctx);
  return ok ? 0 : 1;
}

Sample runOurs(const Options& o, const Case& c, const std::string& target) {
  std::fflush(nullptr);
  double start = now();
  pid_t pid = fork();
  if (pid == 0) _exit(oursChild(o, c, target));
  return finish(pid, start);
}

// ------------------------------------------------------------ OpenSSH

Sample runOpenssh(const Options& o, const Case& c, const std::string& target) {
  std::string batch = o.local + "/batch";
  {
    std::ofstream b(batch);
    const char* f = c.fsync ? "-f " : "";
    if (c.kind == Kind::Big) b << "get " << f << "big.bin " << target << "\n";
    if (c.kind == Kind::Small || c.kind == Kind::SmallBatch)
      b << "get -r " << f << "small " << target << "\n";
    if (c.kind == Kind::ConnectOnly) b << "pwd\n";
  }
  std::vector<std::string> args = {o.sftp,
                                   "-q",
                                   "-b",
                                   batch,
                                   "-i",
                                   o.key,
                                   "-o",
                                   "BatchMode=yes",
                                   "-o",
                                   "StrictHostKeyChecking=yes",
                                   "-o",
                                   "UserKnownHostsFile=" + o.knownHosts,
                                   "-P",
                                   std::to_string(o.port),
                                   o.user + "@" + o.host};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  double start = now();
  pid_t pid;
  if (posix_spawn(&pid, o.sftp.c_str(), &fa, nullptr, argv.data(), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(2);
  }
  posix_spawn_file_actions_destroy(&fa);
  return finish(pid, start);
}

// ------------------------------------------------------------ checks

bool sameFile(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (fa && fb) {
    fa.read(ba.data(), ba.size());
    fb.read(bb.data(), bb.size());
    if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), fa.gcount()) != 0)
      return false;
  }
  return fa.eof() && fb.eof();
}

bool verify(const Options& o, const Case& c, const std::string& target) {
  if (o.remoteRoot.empty() || c.kind == Kind::ConnectOnly) return true;
  if (c.kind == Kind::Big) return sameFile(o.remoteRoot + "/big.bin", target);
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(o.remoteRoot + "/small")) {
    if (!sameFile(e.path().string(), target + "/" + e.path().filename().string())) return false;
    ++n;
  }
  return n > 0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

uint64_t bytesOf(const Options& o, Kind k) {
  if (o.remoteRoot.empty()) return 0;
  if (k == Kind::Big) return fs::file_size(o.remoteRoot + "/big.bin");
  uint64_t sum = 0;
  if (k == Kind::Small || k == Kind::SmallBatch)
    for (const auto& e : fs::directory_iterator(o.remoteRoot + "/small")) sum += e.file_size();
  return sum;
}

int bench(const Options& o) {
  const Case cases[] = {{"connect only", Kind::ConnectOnly, false},
                        {"256 MB file", Kind::Big, false},
                        {"256 MB file, fsync", Kind::Big, true},
                        {"1,000 x 64 KB", Kind::Small, false},
                        {"1,000 x 64 KB, fsync", Kind::Small, true},
                        {"1,000 x 64 KB, many-files path (tgsftp_getfiles)", Kind::SmallBatch,
                         false}};
  struct Row {
    std::vector<double> wall[2], cpu[2];
    long rss[2] = {0, 0};
  };
  std::vector<Row> rows(std::size(cases));
  fs::create_directories(o.local);
  for (int round = 0; round < o.rounds; ++round) {
    for (size_t i = 0; i < std::size(cases); ++i) {
      const Case& c = cases[i];
      if (i > 0 && std::string(c.name).find(o.only) == std::string::npos) continue;
      for (int k = 0; k < 2; ++k) {
        // Alternate who goes first, so neither always meets a warmer cache.
        int side = (round + k) % 2;
        std::string target = o.local + (side == 0 ? "/ours" : "/openssh");
        fs::remove_all(target);
        ::sync();
        Sample s = side == 0 ? runOurs(o, c, target) : runOpenssh(o, c, target);
        if (!s.ok || (round == 0 && !verify(o, c, target))) {
          std::fprintf(stderr, "%s: %s failed\n", c.name, side == 0 ? "tgputtylib" : "OpenSSH");
          return 1;
        }
        rows[i].wall[side].push_back(s.wall);
        rows[i].cpu[side].push_back(s.cpu);
        rows[i].rss[side] = std::max(rows[i].rss[side], s.rssKb);
      }
      std::fprintf(stderr, "round %d: %s done\n", round + 1, c.name);
    }
  }
  fs::remove_all(o.local + "/ours");
  fs::remove_all(o.local + "/openssh");

  double connect[2] = {median(rows[0].wall[0]), median(rows[0].wall[1])};
  std::printf(
      "Median of %d rounds; wall and CPU time of the whole client process, MB/s net of\n"
      "the connection set-up (%.3f s tgputtylib, %.3f s OpenSSH).\n\n",
      o.rounds, connect[0], connect[1]);
  std::printf(
      "| Case | tgputtylib wall | CPU | MB/s | peak RSS | OpenSSH sftp wall | CPU | MB/s | "
      "peak RSS | throughput ratio |\n|---|---|---|---|---|---|---|---|---|---|\n");
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Row& r = rows[i];
    if (r.wall[0].empty()) continue;
    double w0 = median(r.wall[0]), w1 = median(r.wall[1]);
    double mb = double(bytesOf(o, cases[i].kind)) / 1048576.0;
    double rate0 = mb > 0 ? mb / std::max(1e-3, w0 - connect[0]) : 0;
    double rate1 = mb > 0 ? mb / std::max(1e-3, w1 - connect[1]) : 0;
    std::printf(
        "| %s | %.2f s | %.2f s | %.0f | %.1f MB | %.2f s | %.2f s | %.0f | %.1f MB | %s |\n",
        cases[i].name, w0, median(r.cpu[0]), rate0, r.rss[0] / 1024.0, w1, median(r.cpu[1]), rate1,
        r.rss[1] / 1024.0,
        rate1 > 0 ? (std::to_string(int(100 * rate0 / rate1 + 0.5)) + " %").c_str() : "");
  }
  return 0;
}

// ------------------------------------------------------------ round trip

int gFailures = 0;
void check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  if (!ok) ++gFailures;
}

struct Trip {
  int prompts = 0;
  int answered = 3;
  std::string password;
  int32_t lastStatus = -1;
  std::string lastFingerprint;
  int listings = 0;
  std::vector<std::string> listed;
  std::string stream;
};
Trip gTrip;

const char* tripPassword(const char*, bool, bool* cancel, TTGLibraryContext*) {
  ++gTrip.prompts;
  *cancel = gTrip.prompts > gTrip.answered;
  return *cancel ? nullptr : gTrip.password.c_str();
}
bool tripHostKey(const char*, int32_t, const char*, const char*, const char* fp, int32_t status,
                 bool* store, TTGLibraryContext*) {
  gTrip.lastStatus = status;
  gTrip.lastFingerprint = fp;
  *store = true;
  return true;
}
bool tripListing(const fxp_names* n, TTGLibraryContext*) {
  ++gTrip.listings;
  gTrip.listed.clear();
  for (int i = 0; i < n->nnames; ++i) gTrip.listed.push_back(n->names[i].filename);
  return true;
}
int32_t tripWrite(uint64_t off, const char* buf, int32_t len, TTGLibraryContext*) {
  if (gTrip.stream.size() < off + len) gTrip.stream.resize(off + len);
  std::memcpy(gTrip.stream.data() + off, buf, len);
  return len;
}
int32_t tripRead(uint64_t off, char* buf, int32_t size, TTGLibraryContext*) {
  if (off >= gTrip.stream.size()) return 0;
  int32_t n = int32_t(std::min<uint64_t>(size, gTrip.stream.size() - off));
  std::memcpy(buf, gTrip.stream.data() + off, n);
  return n;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

int roundtrip(const Options& o) {
  fs::create_directories(o.local);
  std::string known = o.local + "/known_hosts";
  fs::remove(known);
  TTGLibraryContext ctx;
  initContext(ctx, o);
  ctx.getpassword_callback = tripPassword;
  ctx.verify_host_key_callback = tripHostKey;
  ctx.ls_callback = tripListing;
  ctx.write_to_stream = tripWrite;
  ctx.read_from_stream = tripRead;
  tgputty_conf_set_str(confIndex("known_hosts_file"), known.c_str(), &ctx);
  tgputty_setkeyfile("", &ctx);
  std::string host = o.host + ":" + std::to_string(o.port);
  gTrip.password = o.password;

  // Logins: a wrong password is asked for three times, then cancelled.
  gTrip.password = o.password + "-wrong";
  ctx.fxp_errtype = TG_ERRTYPE_NONE;
  check(tgsftp_connect(host.c_str(), o.user.c_str(), 0, "", &ctx) != 0 && gTrip.prompts == 4,
        "wrong password refused after the fourth request");
  check(gTrip.lastStatus == TG_HOSTKEY_UNKNOWN && gTrip.lastFingerprint.rfind("SHA256:", 0) == 0,
        "new host key reported as unknown with a SHA256 fingerprint");
  gTrip.password = o.password;
  gTrip.prompts = 0;
  check(tgsftp_connect(host.c_str(), o.user.c_str(), 0, "", &ctx) == 0, "password login");
  check(gTrip.lastStatus == TG_HOSTKEY_KNOWN, "stored host key known on the next login");
  std::string home = ctx.homedir ? ctx.homedir : "";
  check(!home.empty() && home == ctx.pwd, "home folder " + home);

  // Folders.
  tgsftp_rmdir("rt-sibling", &ctx);
  check(tgsftp_mkdir("rt-sibling", &ctx) == 1, "mkdir");
  check(tgsftp_mkdir("rt-sibling", &ctx) == 0 && ctx.fxp_errtype >= 0,
        "mkdir again fails with a status");
  check(tgsftp_cd("rt-sibling", &ctx) == 1, "cd into the new folder");
  check(tgsftp_cd("../rt-sibling", &ctx) == 1 && std::string(ctx.pwd) == home + "/rt-sibling",
        "cd ../rt-sibling canonical");
  ctx.fxp_errtype = TG_ERRTYPE_NONE;
  check(tgsftp_cd("../no-such-folder", &ctx) == 0 && ctx.fxp_errtype == 2,
        "cd to a missing folder: status 2");

  // Transfers.
  std::string data(3 * 1048576 + 12345, '\0');
  std::mt19937 rng(7);
  for (auto& ch : data) ch = char(rng());
  std::string src = o.local + "/rt-src.bin", dst = o.local + "/rt-dst.bin";
  std::ofstream(src, std::ios::binary) << data;
  check(tgsftp_putfile(src.c_str(), "a.bin", false, &ctx) == 1, "upload from a file");
  check(tgsftp_getfile("a.bin", dst.c_str(), false, &ctx) == 1 && slurp(dst) == data,
        "download to a file, bytes equal");
  gTrip.stream.clear();
  check(tgsftp_getfile("a.bin", nullptr, false, &ctx) == 1 && gTrip.stream == data,
        "download to a stream, bytes equal");
  std::string half = data.substr(0, 1000000);
  std::ofstream(dst, std::ios::binary) << half;
  check(tgsftp_getfile("a.bin", dst.c_str(), true, &ctx) == 1 && slurp(dst) == data,
        "download appending to a partial file");
  gTrip.stream = data;
  check(tgsftp_putfile(nullptr, "b.bin", false, &ctx) == 1, "upload from a stream");
  TGFileHandle* fh = tgputty_openfile("b.bin", SSH_FXF_READ, nullptr, &ctx);
  std::string queued;
  if (fh) {
    TGTransfer* x = tgputty_xfer_download_init(fh, 0, &ctx);
    bool ok = true;
    do {
      ok = tgputty_xfer_download_preparequeue(x, &ctx);
      void* block;
      int32_t len;
      while (ok && tgputty_xfer_download_data(x, &block, &len, &ctx)) {
        queued.append(static_cast<char*>(block), len);
        tgputty_sfree(block, &ctx);
      }
    } while (ok && !tgputty_xfer_done(x, &ctx));
    tgputty_xfer_cleanup(x, &ctx);
    tgputty_closefile(&fh, &ctx);
  }
  check(queued == data, "queued download, bytes equal");

  // Names and attributes.
  fxp_attrs attrs{};
  check(tgsftp_getstat("b.bin", &attrs, &ctx) && attrs.size == data.size(), "getstat size");
  attrs.flags = SSH_FILEXFER_ATTR_ACMODTIME;
  attrs.atime = attrs.mtime = 1500000000;
  fxp_attrs again{};
  check(tgsftp_setstat("b.bin", &attrs, &ctx) && tgsftp_getstat("b.bin", &again, &ctx) &&
            again.mtime == 1500000000,
        "setstat times");
  check(tgsftp_mv("b.bin", "a.bin", &ctx) == 0, "rename onto an existing name fails");
  check(tgsftp_mvex("b.bin", "a.bin", TG_RENAME_OVERWRITE, &ctx) == 1, "rename with overwrite");
  int before = gTrip.listings;
  check(tgsftp_ls(nullptr, &ctx) == 1 && gTrip.listings == before + 1 && gTrip.listed.size() == 3,
        "listing: one delivery with ., .. and a.bin");
  // The batches: the run's way through a folder.
  check(tgsftp_putfile(src.c_str(), "c.bin", false, &ctx) == 1, "upload a second file");
  const std::string dstC = dst + ".c";
  tg_batch_entry get[2] = {{"a.bin", dst.c_str(), UINT64_MAX, 0, 0, 0, {}, 0},
                           {"c.bin", dstC.c_str(), UINT64_MAX, 0, 0, 0, {}, 0}};
  static std::vector<int32_t> order;
  order.clear();
  auto note = [](int32_t i, tg_batch_entry*, TTGLibraryContext*) {
    order.push_back(i);
    return true;
  };
  check(tgsftp_getfiles(2, get, note, &ctx) == 1 && get[0].result == TG_BATCH_DONE &&
            get[1].result == TG_BATCH_DONE && slurp(dst) == data && slurp(dstC) == data &&
            order == std::vector<int32_t>{0, 1},
        "getfiles: both files whole, reported in order");
  tg_batch_entry st[2] = {{"a.bin", nullptr, 0, 0, 0, 0, {}, 0},
                          {"nothing.bin", nullptr, 0, 0, 0, 0, {}, 0}};
  check(tgsftp_statfiles(2, st, nullptr, &ctx) == 1 && st[0].result == TG_BATCH_DONE &&
            st[0].attrs.size == data.size() && st[1].result == TG_BATCH_FAILED &&
            st[1].fxp_errtype == 2,
        "statfiles: lstat of each, a missing one fails with status 2");
  tg_batch_entry rm[1] = {{"c.bin", nullptr, 0, 0, 0, 0, {}, 0}};
  check(tgsftp_rmfiles(1, rm, [](int32_t, tg_batch_entry*, TTGLibraryContext*) { return true; },
                       nullptr, &ctx) == 1 &&
            rm[0].result == TG_BATCH_DONE,
        "rmfiles");
  fs::remove(dstC);
  check(tgsftp_rm("a.bin", &ctx) == 1, "rm");
  check(tgsftp_cd("..", &ctx) == 1 && tgsftp_rmdir("rt-sibling", &ctx) == 1, "rmdir");
  tgsftp_close(&ctx);
  check(tgsftp_ls(nullptr, &ctx) == 0, "no operation after close");
  tgputtyfree(&ctx);
  fs::remove(src);
  fs::remove(dst);
  std::printf("%s: %d failure(s)\n", gFailures ? "FAILED" : "ALL PASSED", gFailures);
  return gFailures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--host")
      o.host = next();
    else if (a == "--port")
      o.port = std::atoi(next().c_str());
    else if (a == "--user")
      o.user = next();
    else if (a == "--key")
      o.key = next();
    else if (a == "--password")
      o.password = next();
    else if (a == "--known-hosts")
      o.knownHosts = next();
    else if (a == "--remote-root")
      o.remoteRoot = next();
    else if (a == "--local")
      o.local = next();
    else if (a == "--sftp")
      o.sftp = next();
    else if (a == "--rounds")
      o.rounds = std::max(1, std::atoi(next().c_str()));
    else if (a == "--roundtrip")
      o.roundtrip = true;
    else if (a == "--only")
      o.only = next();
    else {
      std::fprintf(
          stderr,
          "usage: bench_sftp --port P --user U --key KEY --known-hosts FILE\n"
          "                  [--remote-root DIR] [--local DIR] [--rounds R] [--sftp PATH]\n"
          "                  [--only TEXT]\n"
          "       bench_sftp --roundtrip --port P --user U --password PW [--local DIR]\n");
      return 2;
    }
  }
  if (o.port <= 0 || o.user.empty()) {
    std::fprintf(stderr, "--port and --user are needed (see README.md)\n");
    return 2;
  }
  return o.roundtrip ? roundtrip(o) : bench(o);
}
