// The exported C functions. Each finds the context's state, runs the
// operation and returns its result; the error fields change only on failure
// (the caller sets fxp_errtype to TG_ERRTYPE_NONE before a call). Exceptions
// thrown by the caller's own callbacks pass through unchanged, every resource
// on the way being held by an object that releases it; only running out of
// memory is turned into the caller's raise_exception_callback.
#include <libssh/libssh.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "Batch.h"
#include "Connection.h"
#include "Remote.h"
#include "State.h"
#include "Transfer.h"
#include "tgputtylib.h"

using namespace belvanto::tglib;

// The binary layout the callers compile against.
#if UINTPTR_MAX > 0xffffffffu
static_assert(sizeof(fxp_attrs) == 40 && sizeof(fxp_name) == 56 && sizeof(fxp_names) == 16);
static_assert(sizeof(TTGLibraryContext) == 400);
static_assert(offsetof(TTGLibraryContext, Tag) == 8 &&
              offsetof(TTGLibraryContext, ls_callback) == 16);
static_assert(offsetof(TTGLibraryContext, aborted) == 156 &&
              offsetof(TTGLibraryContext, reserved) == 157);
#else
static_assert(sizeof(fxp_attrs) == 40 && sizeof(fxp_name) == 48 && sizeof(fxp_names) == 8);
static_assert(sizeof(TTGLibraryContext) == 400);
static_assert(offsetof(TTGLibraryContext, ls_callback) == 16 &&
              offsetof(TTGLibraryContext, fxp_errtype) == 84 &&
              offsetof(TTGLibraryContext, aborted) == 96 &&
              offsetof(TTGLibraryContext, reserved) == 97);
#endif
static_assert(offsetof(fxp_attrs, size) == 8 && offsetof(fxp_attrs, mtime) == 32);

namespace {

constexpr double kRelease = 0.81;
constexpr int32_t kBuild = 12;
// Longest wait of download_data and upload_ready for an answer.
constexpr int32_t kXferWaitMs = 200;

void internalError(TTGLibraryContext* ctx, const char* msg, const char* file, int line) {
  if (ctx && ctx->raise_exception_callback) ctx->raise_exception_callback(msg, file, line);
}

// Runs `op` on the state of an initialised context; `failed` otherwise.
template <typename R, typename Op>
R run(TTGLibraryContext* ctx, R failed, Op op) {
  LibState* st = stateOf(ctx);
  if (!st) {
    internalError(ctx, "tgputtylib: context not initialised", __FILE__, __LINE__);
    return failed;
  }
  try {
    st->clearErrorKind();
    if (st->conn && st->conn->usable()) st->conn->sftp().beginOperation();
    return op(*st);
  } catch (const std::bad_alloc&) {
    internalError(ctx, "tgputtylib: out of memory", __FILE__, __LINE__);
    return failed;
  }
}

// The live connection, or null after reporting why there is none.
Connection* live(LibState& st) {
  if (!st.conn) {
    st.fail("Not connected", TG_ERRKIND_CONNECTION);
    return nullptr;
  }
  if (!st.conn->usable()) {
    st.fail("The connection to the server was lost; connect again", TG_ERRKIND_CONNECTION);
    return nullptr;
  }
  return st.conn.get();
}

Connection* liveFor(LibState& st, uint64_t gen) {
  if (gen != st.connGen) {
    st.fail("The handle belongs to a closed connection");
    return nullptr;
  }
  return live(st);
}

// Runs a path operation on the live connection, with the path resolved.
template <typename Op>
int32_t pathOp(TTGLibraryContext* ctx, const char* path, const char* checkpoint, Op op) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint(checkpoint);
    Connection* c = live(st);
    return c && op(st, *c, resolvePath(st, path)) ? 1 : 0;
  });
}

void confSet(TTGLibraryContext* ctx, int32_t index, auto setter) {
  run<int>(ctx, 0, [&](LibState& st) {
    if (!st.conf.valid(index)) {
      st.message(TG_MSG_ERR, "No configuration setting with index " + std::to_string(index));
    } else {
      setter(st.conf);
    }
    return 0;
  });
}

// The transfer's connection if it is still the live one; marks it failed otherwise.
Connection* transferConn(LibState& st, TGTransfer* x) {
  Connection* c = liveFor(st, x->gen);
  if (!c) {
    if (x->down) x->down->markFailed();
    if (x->up) x->up->markFailed();
  }
  return c;
}

bool takeReady(TGTransfer* x, void** buf, int32_t* len) {
  if (x->ready.empty()) return false;
  *buf = x->ready.front().first;
  *len = x->ready.front().second;
  x->ready.pop_front();
  return true;
}

Download::Sink readySink(TGTransfer* x) {
  return [x](uint64_t, const uint8_t* p, size_t n) {
    void* block = std::malloc(n ? n : 1);
    if (!block) throw std::bad_alloc();
    std::memcpy(block, p, n);
    x->ready.emplace_back(block, static_cast<int32_t>(n));
    return true;
  };
}

}  // namespace

extern "C" {

TG_EXPORT void tggetstructsizes(int32_t* ulongsize, int32_t* namesize, int32_t* attrsize,
                                int32_t* namessize) {
  if (ulongsize) *ulongsize = sizeof(uint32_t);
  if (namesize) *namesize = sizeof(fxp_name);
  if (attrsize) *attrsize = sizeof(fxp_attrs);
  if (namessize) *namessize = sizeof(fxp_names);
}

TG_EXPORT void tgputtygetversions(double* puttyrelease, int32_t* tgputtylibbuild) {
  if (puttyrelease) *puttyrelease = kRelease;
  if (tgputtylibbuild) *tgputtylibbuild = kBuild;
}

TG_EXPORT int32_t tggetlibrarycontextsize(void) {
  return sizeof(TTGLibraryContext);
}

TG_EXPORT int32_t tgputty_initcontext(bool verbose, TTGLibraryContext* ctx) {
  if (!ctx || ctx->structsize < static_cast<int32_t>(sizeof(TTGLibraryContext))) return 1;
  static std::once_flag once;
  std::call_once(once, [] { ssh_init(); });
  try {
    attachState(ctx);
  } catch (const std::bad_alloc&) {
    return 2;
  }
  setVerbosity(static_cast<uint8_t>((verbosity() & ~1u) | (verbose ? 1u : 0u)));
  return 0;
}

TG_EXPORT void tgputtyfree(TTGLibraryContext* ctx) {
  if (stateOf(ctx)) detachState(ctx);
}

TG_EXPORT bool tgputty_getconfigarrays(const int32_t** types, const int32_t** subtypes,
                                       const char* const** names, int32_t* count) {
  if (types) *types = confTypes();
  if (subtypes) *subtypes = confSubtypes();
  if (names) *names = confNames();
  if (count) *count = kConfCount;
  return true;
}

TG_EXPORT void tgputty_setverbose(uint8_t flags) {
  setVerbosity(flags & 3u);
}

TG_EXPORT void tgputty_setkeyfile(const char* keyfile, TTGLibraryContext* ctx) {
  run<int>(ctx, 0, [&](LibState& st) {
    st.conf.set(Conf::Keyfile, keyfile ? keyfile : "");
    return 0;
  });
}

TG_EXPORT int32_t tgputty_conf_get_int(int32_t index, TTGLibraryContext* ctx) {
  LibState* st = stateOf(ctx);
  return st ? st->conf.getIntAt(index) : 0;
}

TG_EXPORT const char* tgputty_conf_get_str(int32_t index, TTGLibraryContext* ctx) {
  LibState* st = stateOf(ctx);
  return st ? st->conf.getStrAt(index) : "";
}

TG_EXPORT void tgputty_conf_set_int(int32_t index, int32_t value, TTGLibraryContext* ctx) {
  confSet(ctx, index, [&](ConfigValues& c) { c.setIntAt(index, value); });
}

TG_EXPORT void tgputty_conf_set_str(int32_t index, const char* value, TTGLibraryContext* ctx) {
  confSet(ctx, index, [&](ConfigValues& c) { c.setStrAt(index, value); });
}

TG_EXPORT void tgputty_conf_set_bool(int32_t index, bool value, TTGLibraryContext* ctx) {
  confSet(ctx, index, [&](ConfigValues& c) { c.setIntAt(index, value ? 1 : 0); });
}

TG_EXPORT void tgputty_setwaitcallback(tg_wait_callback callback, int32_t intervalms,
                                       TTGLibraryContext* ctx) {
  LibState* st = stateOf(ctx);
  if (st) st->setWaitCallback(callback, intervalms);
}

TG_EXPORT int32_t tgputty_geterrorkind(TTGLibraryContext* ctx) {
  LibState* st = stateOf(ctx);
  return st ? st->errorKind() : TG_ERRKIND_OTHER;
}

TG_EXPORT int32_t tgsftp_connect(const char* host, const char* user, int32_t port,
                                 const char* password, TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 1, [&](LibState& st) -> int32_t {
    st.conn.reset();
    ++st.connGen;
    auto c = std::make_unique<Connection>(st);
    if (!c->open(host ? host : "", user ? user : "", port, password)) return 1;
    st.conn = std::move(c);
    st.checkpoint("connected");
    return 0;
  });
}

TG_EXPORT void tgsftp_close(TTGLibraryContext* ctx) {
  run<int>(ctx, 0, [&](LibState& st) {
    st.conn.reset();
    ++st.connGen;
    return 0;
  });
}

TG_EXPORT int32_t tgsftp_cd(const char* dir, TTGLibraryContext* ctx) {
  return pathOp(ctx, dir, "tgsftp_cd", changeDir);
}

TG_EXPORT int32_t tgsftp_ls(const char* dir, TTGLibraryContext* ctx) {
  return pathOp(ctx, dir, "tgsftp_ls", listDir);
}

TG_EXPORT int32_t tgsftp_rm(const char* name, TTGLibraryContext* ctx) {
  return pathOp(ctx, name, "tgsftp_rm", removeFile);
}

TG_EXPORT int32_t tgsftp_mkdir(const char* dir, TTGLibraryContext* ctx) {
  return pathOp(ctx, dir, "tgsftp_mkdir", makeDir);
}

TG_EXPORT int32_t tgsftp_rmdir(const char* dir, TTGLibraryContext* ctx) {
  return pathOp(ctx, dir, "tgsftp_rmdir", removeDir);
}

TG_EXPORT int32_t tgsftp_mv(const char* from, const char* to, TTGLibraryContext* ctx) {
  return pathOp(ctx, from, "tgsftp_mv", [&](LibState& st, Connection& c, const std::string& f) {
    return renamePath(st, c, f, resolvePath(st, to), 0, false);
  });
}

TG_EXPORT int32_t tgsftp_mvex(const char* from, const char* to, int32_t flags,
                              TTGLibraryContext* ctx) {
  return pathOp(ctx, from, "tgsftp_mvex", [&](LibState& st, Connection& c, const std::string& f) {
    return renamePath(st, c, f, resolvePath(st, to), flags, true);
  });
}

TG_EXPORT int32_t tgsftp_getfile(const char* remote, const char* local, bool append,
                                 TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint("tgsftp_getfile");
    Connection* c = live(st);
    return c && getFile(st, *c, remote, local, append) ? 1 : 0;
  });
}

TG_EXPORT int32_t tgsftp_putfile(const char* local, const char* remote, bool append,
                                 TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint("tgsftp_putfile");
    Connection* c = live(st);
    return c && putFile(st, *c, local, remote, append) ? 1 : 0;
  });
}

TG_EXPORT bool tgsftp_getstat(const char* path, struct fxp_attrs* attrs, TTGLibraryContext* ctx) {
  return pathOp(ctx, path, "tgsftp_getstat",
                [&](LibState& st, Connection& c, const std::string& p) {
                  Attrs a;
                  if (!getAttrs(st, c, p, a)) return false;
                  if (attrs) toC(a, *attrs);
                  return true;
                }) != 0;
}

TG_EXPORT bool tgsftp_setstat(const char* path, const struct fxp_attrs* attrs,
                              TTGLibraryContext* ctx) {
  return pathOp(ctx, path, "tgsftp_setstat",
                [&](LibState& st, Connection& c, const std::string& p) {
                  return setAttrs(st, c, p, attrs ? fromC(*attrs) : Attrs{});
                }) != 0;
}

TG_EXPORT int32_t tgsftp_getfiles(int32_t count, struct tg_batch_entry* entries,
                                  tg_batch_callback done, TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint("tgsftp_getfiles");
    Connection* c = live(st);
    return c && (count <= 0 || entries) && getFiles(st, *c, count, entries, done) ? 1 : 0;
  });
}

TG_EXPORT int32_t tgsftp_statfiles(int32_t count, struct tg_batch_entry* entries,
                                   tg_batch_callback done, TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint("tgsftp_statfiles");
    Connection* c = live(st);
    return c && (count <= 0 || entries) &&
                   statOrRemoveFiles(st, *c, count, entries, nullptr, done)
               ? 1
               : 0;
  });
}

TG_EXPORT int32_t tgsftp_rmfiles(int32_t count, struct tg_batch_entry* entries,
                                 tg_batch_callback check, tg_batch_callback done,
                                 TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    st.checkpoint("tgsftp_rmfiles");
    Connection* c = live(st);
    if (c && !check) {
      st.fail("rmfiles: no check given");
      return 0;
    }
    return c && (count <= 0 || entries) &&
                   statOrRemoveFiles(st, *c, count, entries, check, done)
               ? 1
               : 0;
  });
}

TG_EXPORT struct TGFileHandle* tgputty_openfile(const char* path, int32_t openflags,
                                                const struct fxp_attrs* attrs,
                                                TTGLibraryContext* ctx) {
  return run<TGFileHandle*>(ctx, nullptr, [&](LibState& st) -> TGFileHandle* {
    st.checkpoint("tgputty_openfile");
    Connection* c = live(st);
    if (!c) return nullptr;
    std::string p = resolvePath(st, path);
    Attrs a = attrs ? fromC(*attrs) : Attrs{};
    std::string h;
    if (!openHandle(st, *c, p, static_cast<uint32_t>(openflags), a, h)) return nullptr;
    return new TGFileHandle{st.connGen, std::move(h), std::move(p)};
  });
}

TG_EXPORT int32_t tgputty_closefile(struct TGFileHandle** fh, TTGLibraryContext* ctx) {
  return run<int32_t>(ctx, 0, [&](LibState& st) -> int32_t {
    if (!fh || !*fh) return 0;
    std::unique_ptr<TGFileHandle> f(*fh);
    *fh = nullptr;
    Connection* c = liveFor(st, f->gen);
    return c && closeHandle(st, *c, f->handle, "close " + f->path) ? 1 : 0;
  });
}

TG_EXPORT struct TGTransfer* tgputty_xfer_download_init(struct TGFileHandle* fh, uint64_t offset,
                                                        TTGLibraryContext* ctx) {
  return run<TGTransfer*>(ctx, nullptr, [&](LibState& st) -> TGTransfer* {
    if (!fh) return nullptr;
    Connection* c = liveFor(st, fh->gen);
    if (!c) return nullptr;
    auto x = std::make_unique<TGTransfer>();
    x->gen = fh->gen;
    x->down = std::make_unique<Download>(st, *c, fh->handle, offset, "get " + fh->path);
    x->down->requestSize();
    return x.release();
  });
}

TG_EXPORT struct TGTransfer* tgputty_xfer_upload_init(struct TGFileHandle* fh, uint64_t offset,
                                                      TTGLibraryContext* ctx) {
  (void)offset;  // every block carries its own offset
  return run<TGTransfer*>(ctx, nullptr, [&](LibState& st) -> TGTransfer* {
    if (!fh) return nullptr;
    Connection* c = liveFor(st, fh->gen);
    if (!c) return nullptr;
    auto x = std::make_unique<TGTransfer>();
    x->gen = fh->gen;
    x->up = std::make_unique<Upload>(st, *c, fh->handle, "put " + fh->path);
    return x.release();
  });
}

TG_EXPORT bool tgputty_xfer_download_preparequeue(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  return run<bool>(ctx, false, [&](LibState& st) {
    if (!xfer || !xfer->down) return false;
    Connection* c = transferConn(st, xfer);
    if (c && !xfer->down->failed()) {
      xfer->down->issue();
      if (!c->sftp().flush()) xfer->down->markFailed();
    }
    if (xfer->down->failed()) xfer->errorReported = true;
    return !xfer->down->failed();
  });
}

TG_EXPORT bool tgputty_xfer_download_data(struct TGTransfer* xfer, void** buf, int32_t* len,
                                          TTGLibraryContext* ctx) {
  return run<bool>(ctx, false, [&](LibState& st) {
    if (!xfer || !xfer->down || !buf || !len) return false;
    // The caller looks at `aborted` only between passes, and a pass lasts as
    // long as blocks keep coming: stop delivering so it can.
    if (ctx->aborted) return false;
    if (takeReady(xfer, buf, len)) return true;
    Download& d = *xfer->down;
    if (d.failed() || d.finished() || !transferConn(st, xfer)) return false;
    d.issue();
    auto r = d.step(Deadline::after(kXferWaitMs), readySink(xfer));
    if (r == SftpChannel::Pump::Failed) d.markFailed();
    return takeReady(xfer, buf, len);
  });
}

TG_EXPORT bool tgputty_xfer_upload_ready(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  return run<bool>(ctx, false, [&](LibState& st) {
    if (!xfer || !xfer->up) return false;
    Upload& u = *xfer->up;
    if (u.failed() || !transferConn(st, xfer)) return false;
    Deadline now = Deadline::after(1);
    if (u.inflight() > 0 && u.collect(now) == SftpChannel::Pump::Failed) u.markFailed();
    if (!u.failed() && u.inflight() >= u.window()) {
      auto r = u.collect(Deadline::after(kXferWaitMs));
      if (r == SftpChannel::Pump::Failed) u.markFailed();
    }
    return !u.failed() && u.inflight() < u.window();
  });
}

TG_EXPORT void tgputty_xfer_upload_data(struct TGTransfer* xfer, const char* buffer, int32_t len,
                                        uint64_t offset, TTGLibraryContext* ctx) {
  run<int>(ctx, 0, [&](LibState& st) {
    if (!xfer || !xfer->up || !buffer || len <= 0) return 0;
    Connection* c = transferConn(st, xfer);
    if (!c || xfer->up->failed()) return 0;
    xfer->up->write(offset, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(len));
    if (!c->sftp().flush()) xfer->up->markFailed();
    return 0;
  });
}

TG_EXPORT bool tgputty_xfer_done(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  return run<bool>(ctx, true, [&](LibState& st) {
    if (!xfer) return true;
    if (xfer->down) {
      const Download& d = *xfer->down;
      // A failure ends the transfer only once preparequeue has reported it.
      return (d.finished() && xfer->ready.empty()) || (d.failed() && xfer->errorReported);
    }
    Upload& u = *xfer->up;
    if (!u.failed() && u.inflight() > 0 && transferConn(st, xfer)) {
      if (u.collect(Deadline::after(1)) == SftpChannel::Pump::Failed) u.markFailed();
    }
    return u.failed() || u.inflight() == 0;
  });
}

TG_EXPORT bool tgputty_xfer_ensuredone(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  return run<bool>(ctx, false, [&](LibState& st) {
    if (!xfer) return false;
    if (!transferConn(st, xfer)) return false;
    if (xfer->down) {
      Download& d = *xfer->down;
      auto sink = readySink(xfer);
      while (!d.failed() && !d.finished() && d.inflight() > 0) {
        if (d.step(Deadline::never(), sink) != SftpChannel::Pump::Progress) d.markFailed();
      }
      return !d.failed();
    }
    Upload& u = *xfer->up;
    while (!u.failed() && u.inflight() > 0) {
      if (u.collect(Deadline::never()) != SftpChannel::Pump::Progress) u.markFailed();
    }
    return !u.failed();
  });
}

TG_EXPORT void tgputty_xfer_set_error(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  run<int>(ctx, 0, [&](LibState& st) {
    if (!xfer) return 0;
    xfer->errorReported = true;
    if (xfer->down) xfer->down->markFailed();
    if (xfer->up) xfer->up->markFailed();
    // Given up on a server that stopped answering: do not wait for it again.
    size_t waiting = xfer->down ? xfer->down->inflight() : xfer->up ? xfer->up->inflight() : 0;
    if (waiting > 0 && st.conn && st.connGen == xfer->gen && st.conn->usable() &&
        Clock::now() - st.conn->sftp().lastAnswer() >= std::chrono::milliseconds(st.timeoutMs())) {
      st.conn->sftp().kill("Timeout: the server stopped sending");
    }
    return 0;
  });
}

TG_EXPORT void tgputty_xfer_cleanup(struct TGTransfer* xfer, TTGLibraryContext* ctx) {
  run<int>(ctx, 0, [&](LibState&) {
    delete xfer;
    return 0;
  });
}

TG_EXPORT void tgputty_sfree(void* block, TTGLibraryContext* ctx) {
  (void)ctx;
  std::free(block);
}

}  // extern "C"
