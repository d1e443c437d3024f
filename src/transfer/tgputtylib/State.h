// One library context's own state (kept behind the context's reserved bytes):
// settings, current and home folder, the last error, the connection, and the
// way messages reach the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "Config.h"
#include "tgputtylib.h"

namespace belvanto::tglib {

using Clock = std::chrono::steady_clock;

// A point in time after which waiting stops; "never" when made from ms <= 0.
class Deadline {
 public:
  static Deadline after(int32_t ms);
  static Deadline never() { return Deadline(); }
  bool passed() const { return !infinite_ && Clock::now() >= at_; }
  // Milliseconds left (0 when passed), -1 for "never".
  int remainingMs() const;
  // What one blocking wait may last: the time left, but never longer than
  // `slice` ms, so that the caller's wait callback is not kept waiting.
  int sliceMs(int slice) const;

 private:
  Clock::time_point at_{};
  bool infinite_ = true;
};

class Connection;

// The longest single blocking wait inside the library; between two such waits
// the caller's wait callback gets its turn.
inline constexpr int kWaitSliceMs = 25;

// What kind of failure the last call reported (tgputty_geterrorkind).
struct ErrorInfo {
  int32_t errtype = TG_ERRTYPE_NONE;
  int32_t kind = TG_ERRKIND_NONE;
  std::string message;
};

// Ends every message, as the caller collects them into one text.
inline constexpr const char* kEol = "\r\n";

// Process-wide verbosity: bit 0 verbose messages, bit 1 checkpoints.
uint8_t verbosity();
void setVerbosity(uint8_t flags);

class LibState {
 public:
  explicit LibState(TTGLibraryContext* ctx);
  ~LibState();
  LibState(const LibState&) = delete;
  LibState& operator=(const LibState&) = delete;

  TTGLibraryContext* ctx;
  ConfigValues conf;
  std::unique_ptr<Connection> conn;
  // Counts connections, so that handles of an earlier one are recognised.
  uint64_t connGen = 0;

  // Messages. Every text ends with kEol when it reaches the caller.
  void message(uint8_t kind, const std::string& text);
  void info(const std::string& text) { message(TG_MSG_OUT, text); }
  void verbose(const std::string& text);
  void checkpoint(const char* name);

  // Errors: failStatus for an SFTP status from the server, fail for anything
  // else (fxp_errtype then keeps what the caller set, normally negative).
  void failStatus(uint32_t status, const std::string& serverText, const std::string& what);
  void fail(const std::string& text, int32_t kind = TG_ERRKIND_OTHER);
  int32_t errorKind() const { return errorKind_; }
  // A new call starts without a failure kind.
  void clearErrorKind() { errorKind_ = TG_ERRKIND_NONE; }
  // The error fields as they are, and put back, for failures of one file of
  // a batch that are reported while the batch goes on.
  ErrorInfo error() const;
  void setError(const ErrorInfo& e);

  // The caller's wait callback: called whenever the library has waited for
  // the server for its interval since the last call. Never from inside libssh.
  void setWaitCallback(tg_wait_callback cb, int32_t intervalMs);
  void idle();

  void setPwd(std::string dir);
  void setHomedir(std::string dir);
  const std::string& pwd() const { return pwd_; }

  int32_t timeoutMs() const;
  int32_t connectTimeoutMs() const;

 private:
  std::string pwd_;
  std::string homedir_;
  std::string errorMessage_;
  int32_t errorKind_ = TG_ERRKIND_NONE;
  tg_wait_callback wait_ = nullptr;
  std::chrono::milliseconds waitInterval_{50};
  Clock::time_point lastIdle_ = Clock::now();
};

// Brackets an access to the known-hosts file, which several contexts may share,
// with the caller's critical-section callbacks.
class CriticalSection {
 public:
  explicit CriticalSection(const LibState& st);
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

 private:
  TTGLibraryContext* ctx_;
};

// The state of an initialised context, or null.
LibState* stateOf(TTGLibraryContext* ctx);
// Creates the state of a context (freeing one left from an earlier start).
LibState* attachState(TTGLibraryContext* ctx);
void detachState(TTGLibraryContext* ctx);

// Text of an SFTP status code, for servers that send none.
const char* statusText(uint32_t status);

}  // namespace belvanto::tglib
