// Pipelined transfers: the read engine (requests in flight, offsets kept
// here, short answers re-requested, data handed on in order of offset) and the
// write engine, and on them whole-file downloads and uploads and the queued
// transfer handles of the C interface.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Connection.h"
#include "Sftp.h"
#include "State.h"

namespace belvanto::tglib {

class Download {
 public:
  // Takes the data of [offset, offset + len); false stops the transfer (the
  // sink has reported why).
  using Sink = std::function<bool(uint64_t offset, const uint8_t* data, size_t len)>;

  Download(LibState& st, Connection& c, std::string handle, uint64_t start, std::string what);
  ~Download();
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // Asks for the file's attributes along with the first reads, so that the
  // end can be checked against the size.
  void requestSize();
  // The most bytes the file may have: reads stop there, and data beyond it
  // fails the transfer (TG_ERRKIND_TOOLARGE).
  void setBound(uint64_t most) { bound_ = most; }
  // Also bounds the file by the size its attributes give, once they come.
  void boundBySize(bool on) { boundBySize_ = on; }
  // No answer is outstanding for this transfer.
  bool quiet() const { return inflight_.empty() && attrsId_ == 0; }
  // Called with the id of every request the transfer sends.
  void onRequest(std::function<void(uint32_t)> f) { onRequest_ = std::move(f); }
  // Queues read requests up to the window, at most `budget` of them (sent
  // with the next step); returns how many.
  size_t issue(size_t budget = std::numeric_limits<size_t>::max());
  // Handles answers until the deadline or until at least one came.
  SftpChannel::Pump step(Deadline until, const Sink& sink);
  // One answer to a request of this transfer.
  void take(uint32_t id, uint8_t type, Reader& body, const Sink& sink);

  bool finished() const { return done_; }
  bool failed() const { return failed_; }
  void markFailed() { failed_ = true; }
  uint64_t deliveredEnd() const { return delivered_; }
  uint64_t start() const { return start_; }
  bool haveAttrs() const { return haveAttrs_; }
  const Attrs& attrs() const { return attrs_; }
  size_t inflight() const { return inflight_.size(); }

 private:
  struct Req {
    uint64_t off;
    uint32_t len;
  };
  void sendRead(uint64_t off, uint32_t len);
  void deliver(uint64_t off, const uint8_t* p, size_t n, const Sink& sink);
  void checkDone();
  void failWith(const std::string& text, int32_t kind = TG_ERRKIND_PROTOCOL);

  LibState& st_;
  SftpChannel& s_;
  uint64_t gen_;
  std::string handle_;
  std::string what_;
  uint32_t block_;
  size_t window_;
  uint64_t start_, next_, delivered_;
  uint64_t eofAt_ = std::numeric_limits<uint64_t>::max();
  uint64_t maxDataEnd_ = 0;
  uint64_t bound_ = std::numeric_limits<uint64_t>::max();
  bool boundBySize_ = false;
  std::function<void(uint32_t)> onRequest_;
  uint32_t attrsId_ = 0;
  bool sizeRequested_ = false;
  bool haveAttrs_ = false;
  Attrs attrs_;
  std::unordered_map<uint32_t, Req> inflight_;
  std::map<uint64_t, std::vector<uint8_t>> early_;  // arrived ahead of a gap
  size_t earlyBytes_ = 0;
  bool done_ = false;
  bool failed_ = false;
};

// The local side of a download to a file: a temporary file beside the target
// (its name shortened where the target's is long) that replaces the target
// only at commit; anything else leaves no file that could pass for complete.
class LocalTarget {
 public:
  explicit LocalTarget(LibState& st) : st_(st) {}
  ~LocalTarget();
  LocalTarget(const LocalTarget&) = delete;
  LocalTarget& operator=(const LocalTarget&) = delete;

  bool open(const std::string& path, bool append);
  uint64_t startOffset() const { return mode_ == Mode::Append ? appendFrom_ : 0; }
  bool write(uint64_t off, const uint8_t* p, size_t n);
  // Flushes the data to disk unless local_fsync is off.
  bool sync();
  bool commit();
  void abort();

 private:
  enum class Mode { None, Temp, Append };
  bool failLocal(const std::string& what);

  LibState& st_;
  std::string path_, temp_;
  int fd_ = -1;
  Mode mode_ = Mode::None;
  uint64_t appendFrom_ = 0;
};

class Upload {
 public:
  Upload(LibState& st, Connection& c, std::string handle, std::string what);
  ~Upload();
  Upload(const Upload&) = delete;
  Upload& operator=(const Upload&) = delete;

  // Queues WRITE requests for the data (cut into write blocks).
  void write(uint64_t offset, const uint8_t* data, size_t len);
  // Handles acknowledgements until the deadline or until at least one came.
  SftpChannel::Pump collect(Deadline until);

  size_t inflight() const { return inflight_.size(); }
  size_t window() const { return window_; }
  uint32_t block() const { return block_; }
  bool failed() const { return failed_; }
  void markFailed() { failed_ = true; }
  uint64_t acked() const { return acked_; }

 private:
  LibState& st_;
  SftpChannel& s_;
  uint64_t gen_;
  std::string handle_;
  std::string what_;
  uint32_t block_;
  size_t window_;
  std::unordered_map<uint32_t, uint32_t> inflight_;  // id -> length
  uint64_t acked_ = 0;
  bool failed_ = false;
};

bool getFile(LibState& st, Connection& c, const char* remote, const char* local, bool append);
bool putFile(LibState& st, Connection& c, const char* local, const char* remote, bool append);

}  // namespace belvanto::tglib

// The opaque handles of the C interface.
struct TGFileHandle {
  uint64_t gen;  // the connection it belongs to
  std::string handle;
  std::string path;
};

struct TGTransfer {
  uint64_t gen = 0;  // the connection it belongs to (the file handle may go first)
  std::unique_ptr<belvanto::tglib::Download> down;
  std::unique_ptr<belvanto::tglib::Upload> up;
  std::deque<std::pair<void*, int32_t>> ready;  // delivered blocks, malloc'ed
  bool errorReported = false;
  ~TGTransfer();
};
