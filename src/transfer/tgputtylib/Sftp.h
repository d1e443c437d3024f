// SFTP (protocol version 3) over one libssh channel. The protocol is spoken
// here rather than through libssh's own SFTP functions: those cannot time out
// while waiting for an answer, cannot hand out an answer that an earlier call
// has already queued, and cannot keep writes in flight. Here every request has
// an id of its own, answers are matched to ids in whatever order they come,
// and every wait has a deadline.
#pragma once

#include <libssh/libssh.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "State.h"

namespace belvanto::tglib {

namespace fxp {
enum : uint8_t {
  Init = 1,
  Version = 2,
  Open = 3,
  Close = 4,
  Read = 5,
  Write = 6,
  Lstat = 7,
  Fstat = 8,
  Setstat = 9,
  Fsetstat = 10,
  Opendir = 11,
  Readdir = 12,
  Remove = 13,
  Mkdir = 14,
  Rmdir = 15,
  Realpath = 16,
  Stat = 17,
  Rename = 18,
  Status = 101,
  Handle = 102,
  Data = 103,
  Name = 104,
  Attrs = 105,
  Extended = 200,
  ExtendedReply = 201,
};
enum : uint32_t { Ok = 0, Eof = 1, NoSuchFile = 2, PermissionDenied = 3, Failure = 4 };
}  // namespace fxp

// The largest SFTP packet taken from the server; a longer one is malformed.
inline constexpr int32_t kMaxPacket = 1048576;

struct Attrs {
  uint32_t flags = 0;
  uint64_t size = 0;
  uint32_t uid = 0, gid = 0, permissions = 0, atime = 0, mtime = 0;
};

// Reads the big-endian fields of one packet; any overrun sets !ok().
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  uint8_t u8();
  uint32_t u32();
  uint64_t u64();
  std::string_view str();
  Attrs attrs();
  bool ok() const { return ok_; }
  size_t left() const { return n_; }
  const uint8_t* data() const { return p_; }

 private:
  bool need(size_t k);
  const uint8_t* p_;
  size_t n_;
  bool ok_ = true;
};

// Appends big-endian fields to a packet under construction.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& buf) : b_(buf) {}
  Writer& u8(uint8_t v);
  Writer& u32(uint32_t v);
  Writer& u64(uint64_t v);
  Writer& str(std::string_view s);
  Writer& bytes(const void* p, size_t n);  // a string from raw bytes
  Writer& attrs(const Attrs& a);

 private:
  std::vector<uint8_t>& b_;
};

// An answer kept for a request whose owner was not waiting when it came.
struct Reply {
  uint8_t type = 0;
  std::vector<uint8_t> body;  // after the id
  Reader reader() const { return Reader(body.data(), body.size()); }
};

// The status answer's code and text.
struct Status {
  uint32_t code = fxp::Failure;
  std::string text;
};

// What the channel reads from and writes to: libssh's channel, or, for a
// fuzzer playing the server, anything that behaves like one.
struct KanalIo {
  virtual ~KanalIo() = default;
  // Bytes read (0 after `timeoutMs` without any), or below 0 on failure.
  virtual int lesen(uint8_t* ziel, uint32_t n, int timeoutMs) = 0;
  virtual bool zuEnde() = 0;  // the peer closed the channel
  virtual uint32_t fenster() = 0;  // bytes that may be written now
  // Bytes written, or below 0 on failure.
  virtual int schreiben(const uint8_t* daten, uint32_t n) = 0;
  virtual std::string fehler() = 0;  // the reason of the last failure
};

class SftpChannel {
 public:
  SftpChannel(LibState& st, ssh_session session, ssh_channel channel);
  SftpChannel(LibState& st, std::unique_ptr<KanalIo> io);

  // INIT / VERSION exchange; records the server's extensions.
  bool init(Deadline dl);
  bool hasExtension(std::string_view name) const;

  // Builds one request: start() returns the writer (the id is already in
  // place), finish() queues it and returns its id. Nothing is sent before
  // flush() or the next wait, so several requests leave in one write.
  Writer start(uint8_t type);
  uint32_t finish();
  // Sends as much of what is queued as the server's channel window takes,
  // never waiting for the window to grow (the waits do that); false once the
  // connection is dead.
  bool flush();

  // A handler sees each incoming answer: id, type and body reader. It returns
  // true when it took the answer; others are kept for their owner.
  using Handler = std::function<bool(uint32_t id, uint8_t type, Reader& body)>;

  enum class Pump { Progress, Timeout, Failed };
  // Sends what is queued, then reads what arrives until `until` or until at
  // least one answer was handled. Reaching `until` is not a failure here; the
  // operation's time limit is (see beginOperation).
  Pump pump(Deadline until, const Handler& handler);

  // Starts the time limit of one call: from now on, a wait fails (killing the
  // connection) when the server has sent nothing during the last timeoutticks.
  void beginOperation();
  // Raises the limit of the running call to that of a data transfer.
  void transferring() { minBytes_ = kTransferMinBytes; }
  static constexpr uint32_t kTransferMinBytes = 1024;

  // Sends nothing new; waits for the answer of `id` (sending what is queued
  // first) under the call's time limit.
  bool wait(uint32_t id, Reply& out);
  // A kept answer for id, if one came while its owner was not waiting.
  bool takeKept(uint32_t id, Reply& out);
  bool anyKept() const { return !kept_.empty(); }
  // The answer to `id` is not wanted any more: drop it when it comes.
  void forget(uint32_t id);
  // Closes a remote handle without waiting for the answer.
  void closeLater(const std::string& handle);

  bool dead() const { return dead_; }
  // Marks the connection unusable; the reason goes to the caller as an error.
  void kill(const std::string& why, int32_t kind = TG_ERRKIND_CONNECTION);
  Clock::time_point lastAnswer() const { return lastAnswer_; }

 private:
  bool readMore(int timeoutMs, bool& timedOut);
  bool dispatchOne(const Handler& handler, bool& handled);
  // True (after killing the connection) when the call's time limit is hit.
  bool tooSlow();

  LibState& st_;
  std::unique_ptr<KanalIo> io_;
  uint32_t nextId_ = 1;
  std::vector<uint8_t> out_;
  size_t outSent_ = 0;  // the part of out_ already handed to libssh
  size_t packetStart_ = 0;
  std::vector<uint8_t> in_;
  size_t inStart_ = 0, inEnd_ = 0;
  std::unordered_map<uint32_t, bool> live_;  // id -> wanted
  std::unordered_map<uint32_t, Reply> kept_;
  std::vector<std::string> extensions_;
  bool dead_ = false;
  Clock::time_point lastAnswer_ = Clock::now();
  // The call's time limit: bytes received so far, and samples (time, bytes
  // received by then) at most every 100 ms, going back one limit's length.
  uint64_t received_ = 0;
  uint32_t minBytes_ = 1;
  Clock::time_point opStart_ = Clock::now();
  std::deque<std::pair<Clock::time_point, uint64_t>> samples_;
};

// The status of a STATUS answer (the reader must stand after the id).
Status readStatus(Reader& r);

}  // namespace belvanto::tglib
