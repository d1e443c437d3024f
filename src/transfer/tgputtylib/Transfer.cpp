// The transfer engines and whole-file transfers. A download to a local file
// goes to a temporary name beside the target and is renamed over it only when
// every byte up to the remote end of file has arrived, been written and been
// flushed; any failure removes the temporary file.
#include "Transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "Remote.h"

namespace belvanto::tglib {

namespace {

constexpr size_t kInitialBurst = 4;  // reads sent before the size is known
constexpr size_t kReadsInFlight = 32;
constexpr size_t kWritesInFlight = 32;

std::string errnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Reports progress whenever the count has moved; false means cancelled.
class Progress {
 public:
  Progress(LibState& st, bool upload) : st_(st), upload_(upload) {}

  bool report(int64_t bytes) {
    if (!st_.ctx->progress_callback || bytes == last_) return true;
    last_ = bytes;
    return st_.ctx->progress_callback(bytes, upload_, st_.ctx);
  }

 private:
  LibState& st_;
  bool upload_;
  int64_t last_ = -1;
};

// A remote handle that is closed without waiting unless closed properly.
class RemoteHandle {
 public:
  RemoteHandle(Connection& c, std::string h) : c_(c), h_(std::move(h)) {}
  ~RemoteHandle() {
    if (open_ && c_.usable()) {
      try {
        c_.sftp().closeLater(h_);
      } catch (...) {  // a destructor must not throw; the handle then stays open
      }
    }
  }
  RemoteHandle(const RemoteHandle&) = delete;
  RemoteHandle& operator=(const RemoteHandle&) = delete;
  // Queues the CLOSE now and returns its request id.
  uint32_t sendClose() {
    open_ = false;
    c_.sftp().start(fxp::Close).str(h_);
    return c_.sftp().finish();
  }

 private:
  Connection& c_;
  std::string h_;
  bool open_ = true;
};

std::string rate(uint64_t bytes, Clock::time_point since) {
  auto ms = std::max<int64_t>(
      1, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
  char buf[64];
  std::snprintf(buf, sizeof buf, " in %lld ms (%.1f MB/s)", static_cast<long long>(ms),
                double(bytes) / 1048576.0 / (double(ms) / 1000.0));
  return buf;
}

}  // namespace

// ------------------------------------------------------------ LocalTarget

namespace {

// The longest name the folder's file system takes.
size_t nameMax(const std::filesystem::path& dir) {
  long n = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<size_t>(n) : 255;
}

// The first `n` bytes of `s`, not cutting a UTF-8 character in two.
std::string cutUtf8(const std::string& s, size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

}  // namespace

LocalTarget::~LocalTarget() {
  abort();
}

bool LocalTarget::open(const std::string& path, bool append) {
  path_ = path;
  if (append) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ >= 0) {
      struct stat sb {};
      if (::fstat(fd_, &sb) != 0) return failLocal("stat " + path);
      appendFrom_ = static_cast<uint64_t>(sb.st_size);
      mode_ = Mode::Append;
      return true;
    }
    if (errno != ENOENT) return failLocal("open " + path);
  }
  std::filesystem::path p(path);
  std::filesystem::path dir = p.parent_path();
  static const std::string kPart = ".part-";
  constexpr size_t kSuffix = 6;
  // A long name is shortened so that the temporary one still fits; the
  // random suffix and O_EXCL keep it unique.
  const size_t room = nameMax(dir) - 1 - kPart.size() - kSuffix;
  std::string base = cutUtf8(p.filename().string(), room);
  // Seeded once: O_EXCL, not the randomness, makes the name unique.
  static thread_local std::minstd_rand rd{std::random_device{}()};
  static const char* chars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix;
    for (size_t i = 0; i < kSuffix; ++i) suffix += chars[rd() % 62];
    temp_ = (dir / ("." + base + kPart + suffix)).string();
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      mode_ = Mode::Temp;
      return true;
    }
    if (errno != EEXIST) break;
  }
  temp_.clear();
  return failLocal("create a temporary file beside " + path);
}

bool LocalTarget::write(uint64_t off, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(off));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return failLocal("write " + path_);
    p += w;
    off += static_cast<uint64_t>(w);
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool LocalTarget::sync() {
  if (st_.conf.getBool(Conf::LocalFsync) && ::fdatasync(fd_) != 0) return failLocal("sync " + path_);
  return true;
}

bool LocalTarget::commit() {
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return failLocal("close " + path_);
  if (mode_ == Mode::Temp && std::rename(temp_.c_str(), path_.c_str()) != 0)
    return failLocal("rename " + temp_ + " to " + path_);
  mode_ = Mode::None;
  return true;
}

void LocalTarget::abort() {
  if (mode_ == Mode::None) return;
  if (mode_ == Mode::Append && fd_ >= 0) {
    if (::ftruncate(fd_, static_cast<off_t>(appendFrom_)) != 0) {
    }
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (mode_ == Mode::Temp) ::unlink(temp_.c_str());
  mode_ = Mode::None;
}

bool LocalTarget::failLocal(const std::string& what) {
  st_.fail(errnoText(what), TG_ERRKIND_LOCAL);
  return false;
}

// ---------------------------------------------------------------- Download

Download::Download(LibState& st, Connection& c, std::string handle, uint64_t start,
                   std::string what)
    : st_(st),
      s_(c.sftp()),
      gen_(st.connGen),
      handle_(std::move(handle)),
      what_(std::move(what)),
      block_(c.readBlock()),
      window_(kReadsInFlight),
      start_(start),
      next_(start),
      delivered_(start) {}

Download::~Download() {
  if (st_.connGen != gen_ || !st_.conn) return;  // that connection is gone
  for (auto& [id, req] : inflight_) s_.forget(id);
  if (attrsId_) s_.forget(attrsId_);
}

void Download::requestSize() {
  s_.start(fxp::Fstat).str(handle_);
  attrsId_ = s_.finish();
  sizeRequested_ = true;
  if (onRequest_) onRequest_(attrsId_);
}

void Download::sendRead(uint64_t off, uint32_t len) {
  s_.start(fxp::Read).str(handle_).u64(off).u32(len);
  uint32_t id = s_.finish();
  inflight_[id] = Req{off, len};
  if (onRequest_) onRequest_(id);
}

size_t Download::issue(size_t budget) {
  constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
  if (failed_ || done_ || s_.dead() || eofAt_ != kNone) return 0;
  // Requests cover the file up to `end`, where one more confirms the end of
  // file: the size where it is known, the bound where there is one.
  uint64_t end = kNone;
  if (haveAttrs_ && (attrs_.flags & SSH_FILEXFER_ATTR_SIZE)) end = std::max(attrs_.size, maxDataEnd_);
  if (bound_ != kNone) end = std::min(end, bound_);
  size_t limit = end == kNone && sizeRequested_ && !haveAttrs_ ? std::min(window_, kInitialBurst)
                                                               : window_;
  // Top up in batches: several requests share one SSH packet and one write.
  size_t batch = std::max<size_t>(1, window_ / 4);
  if (!inflight_.empty() && inflight_.size() + batch > limit) return 0;
  size_t sent = 0;
  while (sent < budget && inflight_.size() < limit && earlyBytes_ < window_ * block_) {
    uint32_t len = block_;
    if (end != kNone) {
      if (next_ > end) break;
      if (next_ < end && end - next_ < len) len = static_cast<uint32_t>(end - next_);
    }
    sendRead(next_, len);
    next_ += len;
    ++sent;
  }
  return sent;
}

SftpChannel::Pump Download::step(Deadline until, const Sink& sink) {
  if (s_.anyKept()) {
    std::vector<uint32_t> ids;
    for (auto& [id, req] : inflight_) ids.push_back(id);
    if (attrsId_) ids.push_back(attrsId_);
    bool any = false;
    for (uint32_t id : ids) {
      Reply r;
      if (s_.takeKept(id, r)) {
        Reader rd = r.reader();
        take(id, r.type, rd, sink);
        any = true;
      }
    }
    if (any) return s_.flush() ? SftpChannel::Pump::Progress : SftpChannel::Pump::Failed;
  }
  return s_.pump(until, [&](uint32_t id, uint8_t type, Reader& body) {
    if (id != attrsId_ && !inflight_.count(id)) return false;
    take(id, type, body, sink);
    return true;
  });
}

void Download::take(uint32_t id, uint8_t type, Reader& body, const Sink& sink) {
  if (id == attrsId_) {
    attrsId_ = 0;
    if (type == fxp::Attrs) {
      attrs_ = body.attrs();
      haveAttrs_ = body.ok();
      if (haveAttrs_ && (attrs_.flags & SSH_FILEXFER_ATTR_SIZE) && boundBySize_ && !failed_) {
        if (maxDataEnd_ > attrs_.size)
          failWith(what_ + ": the server sent more than the " + std::to_string(attrs_.size) +
                       " bytes it gives as the file's size",
                   TG_ERRKIND_TOOLARGE);
        bound_ = std::min(bound_, attrs_.size);
      }
      if (haveAttrs_ && (attrs_.flags & SSH_FILEXFER_ATTR_SIZE) && attrs_.size > bound_ &&
          !failed_)
        failWith(what_ + ": the file has " + std::to_string(attrs_.size) + " bytes, more than " +
                     std::to_string(bound_),
                 TG_ERRKIND_TOOLARGE);
    } else if (!failed_) {
      Reply r{type, std::vector<uint8_t>(body.data(), body.data() + body.left())};
      unexpected(st_, r, what_ + ": fstat");
      failed_ = true;
    }
    checkDone();
    return;
  }
  auto it = inflight_.find(id);
  Req q = it->second;
  inflight_.erase(it);
  if (failed_) return;
  if (type == fxp::Data) {
    std::string_view d = body.str();
    if (!body.ok() || d.empty() || d.size() > q.len) {
      failWith(what_ + ": the server sent a malformed data answer");
      return;
    }
    if (q.off >= eofAt_) return;
    if (q.off + d.size() > bound_) {
      failWith(what_ + ": the server sends more than the " + std::to_string(bound_) +
                   " bytes the file may have",
               TG_ERRKIND_TOOLARGE);
      return;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(d.size(), eofAt_ - q.off));
    maxDataEnd_ = std::max(maxDataEnd_, q.off + n);
    if (n < q.len && q.off + n < eofAt_) sendRead(q.off + n, static_cast<uint32_t>(q.len - n));
    deliver(q.off, reinterpret_cast<const uint8_t*>(d.data()), n, sink);
  } else if (type == fxp::Status) {
    Status status = readStatus(body);
    if (status.code == fxp::Eof) {
      if (q.off < eofAt_) {
        eofAt_ = q.off;
        while (!early_.empty() && std::prev(early_.end())->first >= eofAt_) {
          earlyBytes_ -= std::prev(early_.end())->second.size();
          early_.erase(std::prev(early_.end()));
        }
      }
    } else {
      st_.failStatus(status.code, status.text, what_ + ": read");
      failed_ = true;
    }
  } else {
    Reply r{type, std::vector<uint8_t>(body.data(), body.data() + body.left())};
    unexpected(st_, r, what_ + ": read");
    failed_ = true;
  }
  checkDone();
}

void Download::deliver(uint64_t off, const uint8_t* p, size_t n, const Sink& sink) {
  if (off > delivered_) {
    earlyBytes_ += n;
    early_[off].assign(p, p + n);
    return;
  }
  if (off + n <= delivered_) return;
  size_t skip = static_cast<size_t>(delivered_ - off);
  if (!sink(delivered_, p + skip, n - skip)) {
    failed_ = true;
    return;
  }
  delivered_ = off + n;
  while (!early_.empty() && early_.begin()->first <= delivered_) {
    auto node = early_.extract(early_.begin());
    earlyBytes_ -= node.mapped().size();
    deliver(node.key(), node.mapped().data(), node.mapped().size(), sink);
    if (failed_) return;
  }
}

void Download::checkDone() {
  if (failed_ || done_ || eofAt_ == std::numeric_limits<uint64_t>::max()) return;
  if (delivered_ < eofAt_ || attrsId_ != 0) return;
  if (haveAttrs_ && (attrs_.flags & SSH_FILEXFER_ATTR_SIZE) && start_ > attrs_.size) {
    failWith(what_ + ": the local data is longer than the remote file");
    return;
  }
  if (haveAttrs_ && (attrs_.flags & SSH_FILEXFER_ATTR_SIZE) && eofAt_ < attrs_.size) {
    failWith(what_ + ": the file ended after " + std::to_string(eofAt_) + " of " +
             std::to_string(attrs_.size) + " bytes");
    return;
  }
  done_ = true;
}

void Download::failWith(const std::string& text, int32_t kind) {
  failed_ = true;
  st_.fail(text, kind);
}

// ------------------------------------------------------------------ Upload

Upload::Upload(LibState& st, Connection& c, std::string handle, std::string what)
    : st_(st),
      s_(c.sftp()),
      gen_(st.connGen),
      handle_(std::move(handle)),
      what_(std::move(what)),
      block_(c.writeBlock()),
      window_(kWritesInFlight) {}

Upload::~Upload() {
  if (st_.connGen != gen_ || !st_.conn) return;
  for (auto& [id, len] : inflight_) s_.forget(id);
}

void Upload::write(uint64_t offset, const uint8_t* data, size_t len) {
  while (len > 0) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(len, block_));
    s_.start(fxp::Write).str(handle_).u64(offset).bytes(data, n);
    inflight_[s_.finish()] = n;
    offset += n;
    data += n;
    len -= n;
  }
}

SftpChannel::Pump Upload::collect(Deadline until) {
  auto handle = [&](uint32_t id, uint8_t type, Reader& body) {
    auto it = inflight_.find(id);
    if (it == inflight_.end()) return false;
    uint32_t len = it->second;
    inflight_.erase(it);
    if (failed_) return true;
    if (type == fxp::Status) {
      Status status = readStatus(body);
      if (status.code == fxp::Ok) {
        acked_ += len;
        return true;
      }
      st_.failStatus(status.code, status.text, what_ + ": write");
    } else {
      st_.fail(what_ + ": unexpected answer to a write");
    }
    failed_ = true;
    return true;
  };
  if (s_.anyKept()) {
    std::vector<uint32_t> ids;
    for (auto& [id, len] : inflight_) ids.push_back(id);
    bool any = false;
    for (uint32_t id : ids) {
      Reply r;
      if (s_.takeKept(id, r)) {
        Reader rd = r.reader();
        handle(id, r.type, rd);
        any = true;
      }
    }
    if (any) return s_.flush() ? SftpChannel::Pump::Progress : SftpChannel::Pump::Failed;
  }
  return s_.pump(until, handle);
}

// ----------------------------------------------------------- whole files

namespace {

// Hands downloaded data to write_to_stream, in order.
Download::Sink streamSink(LibState& st, const std::string& what) {
  return [&st, what](uint64_t off, const uint8_t* p, size_t n) {
    TTGLibraryContext* ctx = st.ctx;
    if (!ctx->write_to_stream) {
      st.fail(what + ": no stream to write to");
      return false;
    }
    for (size_t done = 0; done < n;) {
      int32_t part = static_cast<int32_t>(std::min<size_t>(n - done, 1u << 30));
      auto* data = reinterpret_cast<const char*>(p + done);
      if (ctx->write_to_stream(off + done, data, part, ctx) != part) {
        st.fail(what + ": error while writing to the stream");
        return false;
      }
      done += static_cast<size_t>(part);
    }
    return true;
  };
}

// Drives a download to its end, reporting progress and heeding `aborted`.
bool runDownload(LibState& st, Connection& c, Download& d, const Download::Sink& sink,
                 const std::string& what) {
  Progress progress(st, false);
  c.sftp().transferring();
  while (!d.finished() && !d.failed()) {
    d.issue();
    // The channel's time limit ends a wait that brings too little.
    if (d.step(Deadline::never(), sink) != SftpChannel::Pump::Progress) return false;
    if (!d.failed() && !progress.report(static_cast<int64_t>(d.deliveredEnd() - d.start()))) {
      st.fail(what + ": cancelled");
      return false;
    }
    if (st.ctx->aborted) {
      st.fail(what + ": aborted");
      return false;
    }
  }
  if (d.failed()) return false;
  progress.report(static_cast<int64_t>(d.deliveredEnd() - d.start()));
  return true;
}

// Where an upload's bytes come from: a local file or read_from_stream.
class UploadSource {
 public:
  UploadSource(LibState& st, const char* local, const std::string& what)
      : st_(st), local_(local ? local : ""), what_(what) {}
  ~UploadSource() {
    if (fd_ >= 0) ::close(fd_);
  }
  UploadSource(const UploadSource&) = delete;
  UploadSource& operator=(const UploadSource&) = delete;

  bool open() {
    if (local_.empty()) {
      if (st_.ctx->read_from_stream) return true;
      st_.fail(what_ + ": no stream to read from");
      return false;
    }
    fd_ = ::open(local_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      st_.fail(errnoText("open " + local_));
      return false;
    }
    return true;
  }

  // Bytes read at `off` (0 at the end), or -1 after reporting the failure.
  ssize_t read(uint64_t off, uint8_t* buf, size_t n) {
    if (fd_ < 0) {
      TTGLibraryContext* ctx = st_.ctx;
      int32_t r = ctx->read_from_stream(off, reinterpret_cast<char*>(buf), int32_t(n), ctx);
      if (r < 0) st_.fail(what_ + ": error while reading the stream");
      return r < 0 ? -1 : r;
    }
    for (;;) {
      ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(off));
      if (r >= 0) return r;
      if (errno != EINTR) {
        st_.fail(errnoText("read " + local_));
        return -1;
      }
    }
  }

 private:
  LibState& st_;
  std::string local_, what_;
  int fd_ = -1;
};

// Sends the whole source with writes in flight, reporting progress.
bool runUpload(LibState& st, SftpChannel& s, Upload& up, UploadSource& src, uint64_t remoteStart,
               const std::string& what) {
  Progress progress(st, true);
  s.transferring();
  std::vector<uint8_t> buf(up.block());
  uint64_t srcOff = 0;
  bool srcEnd = false;
  while (!up.failed() && (!srcEnd || up.inflight() > 0)) {
    while (!srcEnd && up.inflight() < up.window()) {
      ssize_t n = src.read(srcOff, buf.data(), buf.size());
      if (n < 0) return false;
      srcEnd = n == 0;
      if (srcEnd) break;
      up.write(remoteStart + srcOff, buf.data(), static_cast<size_t>(n));
      srcOff += static_cast<uint64_t>(n);
    }
    if (up.inflight() == 0) break;
    if (up.collect(Deadline::never()) != SftpChannel::Pump::Progress) return false;
    if (!up.failed() && !progress.report(static_cast<int64_t>(up.acked()))) {
      st.fail(what + ": cancelled");
      return false;
    }
    if (st.ctx->aborted) {
      st.fail(what + ": aborted");
      return false;
    }
  }
  if (up.failed()) return false;
  progress.report(static_cast<int64_t>(up.acked()));
  return true;
}

}  // namespace

bool getFile(LibState& st, Connection& c, const char* remote, const char* local, bool append) {
  std::string path = resolvePath(st, remote);
  std::string what = "get " + path;
  st.checkpoint("getfile_open");
  std::unique_ptr<LocalTarget> target;
  if (local) {
    target = std::make_unique<LocalTarget>(st);
    if (!target->open(local, append)) return false;
  }
  uint64_t start = target ? target->startOffset() : 0;
  std::string h;
  if (!openHandle(st, c, path, SSH_FXF_READ, Attrs{}, h)) return false;
  RemoteHandle handle(c, h);

  auto began = Clock::now();
  Download d(st, c, h, start, what);
  d.requestSize();
  if (start > 0) st.verbose("Resuming at byte " + std::to_string(start));
  st.checkpoint("getfile_transfer");
  Download::Sink toFile = [&](uint64_t off, const uint8_t* p, size_t n) {
    return target->write(off, p, n);
  };
  if (!runDownload(st, c, d, target ? toFile : streamSink(st, what), what)) return false;

  // The remote close travels while the local data goes to disk.
  st.checkpoint("getfile_close");
  uint32_t closeId = handle.sendClose();
  if (!c.sftp().flush()) return false;
  if (target && !target->sync()) {
    c.sftp().forget(closeId);
    return false;
  }
  Reply r;
  if (!c.sftp().wait(closeId, r) || !expectOk(st, r, what + ": close")) return false;
  if (target && !target->commit()) return false;
  uint64_t bytes = d.deliveredEnd() - start;
  st.verbose("Downloaded " + std::to_string(bytes) + " bytes of " + path + rate(bytes, began));
  return true;
}

bool putFile(LibState& st, Connection& c, const char* local, const char* remote, bool append) {
  std::string path = resolvePath(st, remote);
  std::string what = "put " + path;
  UploadSource src(st, local, what);
  if (!src.open()) return false;

  uint32_t pflags = SSH_FXF_WRITE | SSH_FXF_CREAT | (append ? 0 : SSH_FXF_TRUNC);
  std::string h;
  if (!openHandle(st, c, path, pflags, Attrs{}, h)) return false;
  RemoteHandle handle(c, h);
  SftpChannel& s = c.sftp();

  // Appending writes at the remote end; the APPEND flag would garble writes in flight.
  uint64_t remoteStart = 0;
  if (append) {
    s.start(fxp::Fstat).str(h);
    Reply r;
    if (!s.wait(s.finish(), r)) return false;
    if (r.type != fxp::Attrs) return unexpected(st, r, what + ": fstat");
    Reader rd = r.reader();
    remoteStart = rd.attrs().size;
  }

  auto began = Clock::now();
  Upload up(st, c, h, what);
  if (!runUpload(st, s, up, src, remoteStart, what)) return false;

  Reply r;
  if (!s.wait(handle.sendClose(), r) || !expectOk(st, r, what + ": close")) return false;
  st.verbose("Uploaded " + std::to_string(up.acked()) + " bytes to " + path +
             rate(up.acked(), began));
  return true;
}

}  // namespace belvanto::tglib

TGTransfer::~TGTransfer() {
  for (auto& [p, n] : ready) std::free(p);
}
