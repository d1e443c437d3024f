// SFTP packets over the channel: framing, ids, deadlines.
#include "Sftp.h"

#include <algorithm>
#include <cstring>

namespace belvanto::tglib {

namespace {

constexpr size_t kReadChunk = 512 * 1024;  // below libssh's window, so no extra adjusts

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

}  // namespace

bool Reader::need(size_t k) {
  if (!ok_ || n_ < k) {
    ok_ = false;
    return false;
  }
  return true;
}

uint8_t Reader::u8() {
  if (!need(1)) return 0;
  uint8_t v = p_[0];
  p_ += 1;
  n_ -= 1;
  return v;
}

uint32_t Reader::u32() {
  if (!need(4)) return 0;
  uint32_t v = be32(p_);
  p_ += 4;
  n_ -= 4;
  return v;
}

uint64_t Reader::u64() {
  uint64_t hi = u32();
  return (hi << 32) | u32();
}

std::string_view Reader::str() {
  uint32_t len = u32();
  if (!need(len)) return {};
  std::string_view s(reinterpret_cast<const char*>(p_), len);
  p_ += len;
  n_ -= len;
  return s;
}

Attrs Reader::attrs() {
  Attrs a;
  a.flags = u32();
  if (a.flags & 0x1) a.size = u64();
  if (a.flags & 0x2) {
    a.uid = u32();
    a.gid = u32();
  }
  if (a.flags & 0x4) a.permissions = u32();
  if (a.flags & 0x8) {
    a.atime = u32();
    a.mtime = u32();
  }
  if (a.flags & 0x80000000u) {
    uint32_t n = u32();
    for (uint32_t i = 0; i < n && ok_; ++i) {
      str();
      str();
    }
  }
  a.flags &= 0xf;
  return a;
}

Writer& Writer::u8(uint8_t v) {
  b_.push_back(v);
  return *this;
}

Writer& Writer::u32(uint32_t v) {
  uint8_t t[4];
  put32(t, v);
  b_.insert(b_.end(), t, t + 4);
  return *this;
}

Writer& Writer::u64(uint64_t v) {
  u32(uint32_t(v >> 32));
  return u32(uint32_t(v));
}

Writer& Writer::str(std::string_view s) {
  return bytes(s.data(), s.size());
}

Writer& Writer::bytes(const void* p, size_t n) {
  u32(static_cast<uint32_t>(n));
  const auto* c = static_cast<const uint8_t*>(p);
  b_.insert(b_.end(), c, c + n);
  return *this;
}

Writer& Writer::attrs(const Attrs& a) {
  uint32_t f = a.flags & 0xf;
  u32(f);
  if (f & 0x1) u64(a.size);
  if (f & 0x2) u32(a.uid).u32(a.gid);
  if (f & 0x4) u32(a.permissions);
  if (f & 0x8) u32(a.atime).u32(a.mtime);
  return *this;
}

Status readStatus(Reader& r) {
  Status s;
  s.code = r.u32();
  if (r.left() >= 4) s.text = std::string(r.str());
  if (!r.ok()) s.code = fxp::Failure;
  return s;
}

namespace {

class LibsshIo : public KanalIo {
 public:
  LibsshIo(ssh_session session, ssh_channel channel) : session_(session), channel_(channel) {}
  int lesen(uint8_t* ziel, uint32_t n, int timeoutMs) override {
    return ssh_channel_read_timeout(channel_, ziel, n, 0, timeoutMs);
  }
  bool zuEnde() override { return ssh_channel_is_eof(channel_) || !ssh_channel_is_open(channel_); }
  uint32_t fenster() override { return ssh_channel_window_size(channel_); }
  int schreiben(const uint8_t* daten, uint32_t n) override {
    return ssh_channel_write(channel_, daten, n);
  }
  std::string fehler() override {
    const char* err = ssh_get_error(session_);
    return err ? err : "";
  }

 private:
  ssh_session session_;
  ssh_channel channel_;
};

}  // namespace

SftpChannel::SftpChannel(LibState& st, ssh_session session, ssh_channel channel)
    : SftpChannel(st, std::make_unique<LibsshIo>(session, channel)) {}

SftpChannel::SftpChannel(LibState& st, std::unique_ptr<KanalIo> io) : st_(st), io_(std::move(io)) {}

bool SftpChannel::init(Deadline dl) {
  out_.clear();
  outSent_ = 0;
  Writer w(out_);
  w.u32(5).u8(fxp::Init).u32(3);
  for (;;) {
    if (!flush()) return false;
    size_t avail = inEnd_ - inStart_;
    if (avail >= 4) {
      uint32_t len = be32(&in_[inStart_]);
      if (len < 5 || len > 256 * 1024) {
        kill("The server's SFTP start answer is malformed", TG_ERRKIND_PROTOCOL);
        return false;
      }
      if (avail >= 4 + len) {
        Reader r(&in_[inStart_ + 4], len);
        inStart_ += 4 + len;
        uint8_t type = r.u8();
        uint32_t version = r.u32();
        if (type != fxp::Version) {
          kill("The server did not start SFTP (answer type " + std::to_string(type) + ")",
               TG_ERRKIND_PROTOCOL);
          return false;
        }
        st_.verbose("SFTP protocol version " + std::to_string(version));
        std::string names;
        // A server's list of extensions is short; a flood of them is not kept.
        while (r.left() > 0 && r.ok() && extensions_.size() < 256) {
          std::string name(r.str());
          r.str();
          if (!r.ok()) break;
          extensions_.push_back(name);
          names += (names.empty() ? "" : ", ") + name;
        }
        if (!names.empty()) st_.verbose("Server extensions: " + names);
        return true;
      }
    }
    bool timedOut = false;
    if (!readMore(dl.sliceMs(kWaitSliceMs), timedOut)) return false;
    st_.idle();
    if (timedOut && dl.passed()) {
      kill("Timeout: the server did not start SFTP", TG_ERRKIND_TIMEOUT);
      return false;
    }
  }
}

bool SftpChannel::hasExtension(std::string_view name) const {
  return std::find(extensions_.begin(), extensions_.end(), name) != extensions_.end();
}

Writer SftpChannel::start(uint8_t type) {
  packetStart_ = out_.size();
  Writer w(out_);
  w.u32(0).u8(type).u32(nextId_);
  return w;
}

uint32_t SftpChannel::finish() {
  put32(&out_[packetStart_], static_cast<uint32_t>(out_.size() - packetStart_ - 4));
  uint32_t id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  live_[id] = true;
  return id;
}

bool SftpChannel::flush() {
  if (dead_) {
    out_.clear();
    outSent_ = 0;
    return false;
  }
  while (outSent_ < out_.size()) {
    // Only what the window takes: libssh would otherwise block until the
    // server grows it, and a server that never does would hold us forever.
    uint32_t window = io_->fenster();
    if (window == 0) break;
    size_t n = std::min<size_t>({out_.size() - outSent_, window, 1u << 20});
    int rc = io_->schreiben(out_.data() + outSent_, static_cast<uint32_t>(n));
    if (rc < 0) {
      const std::string err = io_->fehler();
      kill(std::string("Network error: sending to the server failed") +
           (!err.empty() ? ": " + err : std::string(" (timed out)")));
      return false;
    }
    if (rc == 0) break;
    outSent_ += static_cast<size_t>(rc);
  }
  if (outSent_ == out_.size()) {
    out_.clear();
    outSent_ = 0;
    if (out_.capacity() > 4 * kReadChunk) out_.shrink_to_fit();
  } else if (outSent_ > kReadChunk) {
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outSent_));
    packetStart_ -= std::min(packetStart_, outSent_);
    outSent_ = 0;
  }
  return true;
}

bool SftpChannel::readMore(int timeoutMs, bool& timedOut) {
  timedOut = false;
  if (inStart_ == inEnd_) {
    inStart_ = inEnd_ = 0;
  } else if (inStart_ > 0 && in_.size() - inEnd_ < kReadChunk) {
    std::memmove(in_.data(), in_.data() + inStart_, inEnd_ - inStart_);
    inEnd_ -= inStart_;
    inStart_ = 0;
  }
  if (in_.size() - inEnd_ < kReadChunk) in_.resize(inEnd_ + kReadChunk);
  size_t space = std::min(in_.size() - inEnd_, kReadChunk);
  int n = io_->lesen(in_.data() + inEnd_, static_cast<uint32_t>(space), timeoutMs);
  if (n > 0) {
    inEnd_ += static_cast<size_t>(n);
    received_ += static_cast<uint64_t>(n);
    auto now = Clock::now();
    if (samples_.empty() || now - samples_.back().first >= std::chrono::milliseconds(100))
      samples_.emplace_back(now, received_);
    else
      samples_.back().second = received_;
    return true;
  }
  if (n == 0) {
    if (io_->zuEnde()) {
      kill("Network error: the server closed the SFTP channel");
      return false;
    }
    timedOut = true;
    return true;
  }
  const std::string err = io_->fehler();
  kill(std::string("Network error: connection lost") + (!err.empty() ? ": " + err : std::string()));
  return false;
}

bool SftpChannel::dispatchOne(const Handler& handler, bool& handled) {
  handled = false;
  size_t avail = inEnd_ - inStart_;
  if (avail < 4) return false;
  uint32_t len = be32(&in_[inStart_]);
  if (len < 5 || len > static_cast<uint32_t>(kMaxPacket)) {
    kill("The server sent a malformed SFTP packet (length " + std::to_string(len) + ")",
         TG_ERRKIND_PROTOCOL);
    return false;
  }
  if (avail < 4 + size_t(len)) {
    // Make room for the whole packet at once.
    if (in_.size() - inStart_ < 4 + size_t(len)) {
      std::memmove(in_.data(), in_.data() + inStart_, avail);
      inStart_ = 0;
      inEnd_ = avail;
      if (in_.size() < 4 + size_t(len) + kReadChunk) in_.resize(4 + size_t(len) + kReadChunk);
    }
    return false;
  }
  const uint8_t* p = &in_[inStart_ + 4];
  inStart_ += 4 + size_t(len);
  uint8_t type = p[0];
  uint32_t id = be32(p + 1);
  auto it = live_.find(id);
  if (it == live_.end()) {
    kill("The server answered an unknown SFTP request (id " + std::to_string(id) + ")",
         TG_ERRKIND_PROTOCOL);
    return false;
  }
  bool wanted = it->second;
  live_.erase(it);
  lastAnswer_ = Clock::now();
  if (!wanted) return true;
  Reader body(p + 5, len - 5);
  if (handler && handler(id, type, body)) {
    handled = true;
  } else {
    Reply& r = kept_[id];
    r.type = type;
    r.body.assign(p + 5, p + len);
  }
  return true;
}

SftpChannel::Pump SftpChannel::pump(Deadline until, const Handler& handler) {
  st_.idle();
  for (;;) {
    if (!flush()) return Pump::Failed;
    bool any = false;
    bool handled = false;
    while (dispatchOne(handler, handled)) any = any || handled;
    if (dead_) return Pump::Failed;
    if (any) return Pump::Progress;
    if (tooSlow()) return Pump::Failed;
    bool timedOut = false;
    if (!readMore(until.sliceMs(kWaitSliceMs), timedOut)) return Pump::Failed;
    st_.idle();
    if (timedOut && until.passed()) return Pump::Timeout;
  }
}

void SftpChannel::beginOperation() {
  minBytes_ = 1;
  opStart_ = Clock::now();
  samples_.clear();
  samples_.emplace_back(opStart_, received_);
}

bool SftpChannel::tooSlow() {
  const auto limit = std::chrono::milliseconds(st_.timeoutMs());
  const auto now = Clock::now();
  if (now - opStart_ < limit) return false;
  // Bytes received since the newest sample that is at least one limit old.
  while (samples_.size() > 1 && now - samples_[1].first >= limit) samples_.pop_front();
  if (received_ - samples_.front().second >= minBytes_) return false;
  const std::string ms = std::to_string(st_.timeoutMs());
  kill(minBytes_ > 1 ? "Timeout: the server sent fewer than " + std::to_string(minBytes_) +
                           " bytes in " + ms + " ms"
                     : "Timeout: no answer from the server within " + ms + " ms",
       TG_ERRKIND_TIMEOUT);
  return true;
}

bool SftpChannel::takeKept(uint32_t id, Reply& out) {
  auto it = kept_.find(id);
  if (it == kept_.end()) return false;
  out = std::move(it->second);
  kept_.erase(it);
  return true;
}

bool SftpChannel::wait(uint32_t id, Reply& out) {
  if (takeKept(id, out)) return flush();
  Handler take = [&](uint32_t got, uint8_t type, Reader& body) {
    if (got != id) return false;
    out.type = type;
    out.body.assign(body.data(), body.data() + body.left());
    return true;
  };
  return pump(Deadline::never(), take) == Pump::Progress;
}

void SftpChannel::forget(uint32_t id) {
  auto it = live_.find(id);
  if (it != live_.end()) it->second = false;
  kept_.erase(id);
}

void SftpChannel::closeLater(const std::string& handle) {
  if (dead_) return;
  start(fxp::Close).str(handle);
  forget(finish());
}

void SftpChannel::kill(const std::string& why, int32_t kind) {
  if (dead_) return;
  dead_ = true;
  live_.clear();
  kept_.clear();
  st_.fail(why, kind);
}

}  // namespace belvanto::tglib
