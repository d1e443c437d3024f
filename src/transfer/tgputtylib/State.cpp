// The context's state, its messages and its error fields.
#include "State.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include "Connection.h"

namespace belvanto::tglib {

namespace {

std::atomic<uint8_t> gVerbosity{0};

// The reserved bytes hold this tag and then the state's address.
constexpr char kTag[8] = {'t', 'g', 'l', 'i', 'b', 's', 't', '1'};
static_assert(sizeof(kTag) + sizeof(void*) <= TG_CONTEXT_RESERVED);

std::string endLine(const std::string& text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, kEol) == 0) return text;
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out + kEol;
}

}  // namespace

Deadline Deadline::after(int32_t ms) {
  Deadline d;
  if (ms > 0) {
    d.infinite_ = false;
    d.at_ = Clock::now() + std::chrono::milliseconds(ms);
  }
  return d;
}

int Deadline::remainingMs() const {
  if (infinite_) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at_ - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int Deadline::sliceMs(int slice) const {
  int left = remainingMs();
  return left < 0 || left > slice ? slice : left;
}

uint8_t verbosity() {
  return gVerbosity.load(std::memory_order_relaxed);
}
void setVerbosity(uint8_t flags) {
  gVerbosity.store(flags, std::memory_order_relaxed);
}

LibState::LibState(TTGLibraryContext* c) : ctx(c) {
  ctx->pwd = pwd_.data();
  ctx->homedir = homedir_.data();
  ctx->fxp_error_message = errorMessage_.data();
}

LibState::~LibState() {
  conn.reset();
  ctx->pwd = nullptr;
  ctx->homedir = nullptr;
  ctx->fxp_error_message = nullptr;
}

void LibState::message(uint8_t kind, const std::string& text) {
  std::string line = kind == TG_MSG_CHECKPOINT ? text : endLine(text);
  if (ctx->printmessage_callback) ctx->printmessage_callback(line.c_str(), kind, ctx);
}

void LibState::verbose(const std::string& text) {
  if (verbosity() & 1) message(TG_MSG_OUT, text);
}

void LibState::checkpoint(const char* name) {
  if (verbosity() & 2) message(TG_MSG_CHECKPOINT, name);
}

void LibState::failStatus(uint32_t status, const std::string& serverText, const std::string& what) {
  errorMessage_ = serverText.empty() ? statusText(status) : serverText;
  ctx->fxp_errtype = static_cast<int32_t>(status & 0x7fffffffu);
  ctx->fxp_error_message = errorMessage_.data();
  errorKind_ = TG_ERRKIND_STATUS;
  message(TG_MSG_ERR, what + ": " + errorMessage_);
}

void LibState::fail(const std::string& text, int32_t kind) {
  errorMessage_ = text;
  ctx->fxp_error_message = errorMessage_.data();
  errorKind_ = kind;
  message(TG_MSG_ERR, text);
}

ErrorInfo LibState::error() const {
  return {ctx->fxp_errtype, errorKind_, errorMessage_};
}

void LibState::setError(const ErrorInfo& e) {
  errorMessage_ = e.message;
  ctx->fxp_error_message = errorMessage_.data();
  ctx->fxp_errtype = e.errtype;
  errorKind_ = e.kind;
}

void LibState::setWaitCallback(tg_wait_callback cb, int32_t intervalMs) {
  wait_ = cb;
  waitInterval_ = std::chrono::milliseconds(std::clamp(intervalMs, 1, 1000));
  lastIdle_ = Clock::now();
}

void LibState::idle() {
  if (!wait_) return;
  auto now = Clock::now();
  if (now - lastIdle_ < waitInterval_) return;
  lastIdle_ = now;
  wait_(ctx);
}

void LibState::setPwd(std::string dir) {
  pwd_ = std::move(dir);
  ctx->pwd = pwd_.data();
}

void LibState::setHomedir(std::string dir) {
  homedir_ = std::move(dir);
  ctx->homedir = homedir_.data();
}

int32_t LibState::timeoutMs() const {
  return ctx->timeoutticks > 0 ? ctx->timeoutticks : 60000;
}

int32_t LibState::connectTimeoutMs() const {
  return ctx->connectiontimeoutticks > 0 ? ctx->connectiontimeoutticks : 60000;
}

CriticalSection::CriticalSection(const LibState& st) : ctx_(st.ctx) {
  if (ctx_->entercriticalsection_callback) ctx_->entercriticalsection_callback(ctx_);
}

CriticalSection::~CriticalSection() {
  if (ctx_->leavecriticalsection_callback) ctx_->leavecriticalsection_callback(ctx_);
}

LibState* stateOf(TTGLibraryContext* ctx) {
  if (!ctx) return nullptr;
  if (std::memcmp(ctx->reserved, kTag, sizeof kTag) != 0) return nullptr;
  LibState* s = nullptr;
  std::memcpy(&s, ctx->reserved + sizeof kTag, sizeof s);
  return s && s->ctx == ctx ? s : nullptr;
}

LibState* attachState(TTGLibraryContext* ctx) {
  detachState(ctx);
  auto* s = new LibState(ctx);
  std::memcpy(ctx->reserved, kTag, sizeof kTag);
  std::memcpy(ctx->reserved + sizeof kTag, &s, sizeof s);
  return s;
}

void detachState(TTGLibraryContext* ctx) {
  LibState* s = stateOf(ctx);
  std::memset(ctx->reserved, 0, sizeof kTag + sizeof(void*));
  delete s;
}

const char* statusText(uint32_t status) {
  switch (status) {
    case 0:
      return "Success";
    case 1:
      return "End of file";
    case 2:
      return "No such file or directory";
    case 3:
      return "Permission denied";
    case 4:
      return "Failure";
    case 5:
      return "Bad message";
    case 6:
      return "No connection";
    case 7:
      return "Connection lost";
    case 8:
      return "Operation unsupported";
    default:
      return "Unknown status";
  }
}

}  // namespace belvanto::tglib
