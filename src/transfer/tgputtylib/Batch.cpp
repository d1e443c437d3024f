// The batch engines. Each keeps a window of entries under way, routes every
// answer by its request id to its entry, and hands finished entries to the
// caller in order. A failure of one entry is that entry's; only a dead
// connection (or `aborted`) ends the batch, and then every entry under way is
// reported as failed with the connection's error.
#include "Batch.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Remote.h"
#include "Transfer.h"

namespace belvanto::tglib {

namespace {

constexpr size_t kFilesAhead = 16;         // getfiles: files open or being opened at once
constexpr size_t kEntriesInFlight = 64;    // statfiles, rmfiles: entries under way at once
constexpr size_t kReadsInFlight = 64;       // getfiles: read requests across all files

// Which entries are begun, finished and reported, and the reporting.
class Reporter {
 public:
  Reporter(LibState& st, int32_t count, tg_batch_entry* entries, tg_batch_callback done)
      : st_(st),
        count_(std::max(0, count)),
        e_(entries),
        done_(done),
        finished_(static_cast<size_t>(count_)),
        errors_(static_cast<size_t>(count_)),
        caller_(st.error()) {
    for (int32_t i = 0; i < count_; ++i) {
      tg_batch_entry& e = e_[i];
      e.result = TG_BATCH_NOTSTARTED;
      e.fxp_errtype = TG_ERRTYPE_NONE;
      e.errorkind = TG_ERRKIND_NONE;
      std::memset(&e.attrs, 0, sizeof e.attrs);
      e.bytes = 0;
    }
  }

  tg_batch_entry& entry(int32_t i) { return e_[i]; }
  int32_t count() const { return count_; }
  bool mayBegin() const { return !stopping_ && begun_ < count_; }
  int32_t begin() { return begun_++; }
  bool finished(int32_t i) const { return finished_[static_cast<size_t>(i)]; }
  int32_t underWay() const { return begun_ - done_count_; }
  int32_t begun() const { return begun_; }

  void succeed(int32_t i, int32_t result) {
    e_[i].result = result;
    finished_[static_cast<size_t>(i)] = true;
    ++done_count_;
  }
  // Takes the reason from the error fields, where the failing step put it.
  void fail(int32_t i, int32_t result) {
    ErrorInfo err = st_.error();
    e_[i].result = result;
    e_[i].fxp_errtype = err.errtype;
    e_[i].errorkind = err.kind;
    errors_[static_cast<size_t>(i)] = std::move(err);
    finished_[static_cast<size_t>(i)] = true;
    ++done_count_;
    st_.setError(caller_);
  }

  // Hands every finished entry that is next in order to the caller.
  void report() {
    while (reported_ < begun_ && finished_[static_cast<size_t>(reported_)]) {
      const int32_t i = reported_++;
      if (!done_) continue;
      const bool failed = e_[i].result == TG_BATCH_FAILED || e_[i].result == TG_BATCH_FAILED_LATER;
      st_.setError(failed ? errors_[static_cast<size_t>(i)] : caller_);
      const bool goOn = done_(i, &e_[i], st_.ctx);
      st_.setError(caller_);
      if (!goOn) stopping_ = true;
    }
  }

  bool allReported() const { return reported_ == begun_ && !mayBegin(); }

  // The batch's own end: the error fields as the caller had them, or the
  // failure that ended it.
  bool end(bool ok, const ErrorInfo& fatal) {
    st_.setError(ok ? caller_ : fatal);
    return ok;
  }

 private:
  LibState& st_;
  int32_t count_;
  tg_batch_entry* e_;
  tg_batch_callback done_;
  std::vector<bool> finished_;
  std::vector<ErrorInfo> errors_;
  ErrorInfo caller_;
  int32_t begun_ = 0, reported_ = 0, done_count_ = 0;
  bool stopping_ = false;
};

// ----------------------------------------------------------------- getfiles

class GetFiles {
 public:
  GetFiles(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
           tg_batch_callback done)
      : st_(st),
        c_(c),
        s_(c.sftp()),
        r_(st, count, entries, done),
        files_(static_cast<size_t>(r_.count())) {}

  ~GetFiles() {
    // Left by an exception from a callback: no handle stays open on the server.
    for (auto& f : files_)
      if (!f.handle.empty() && !s_.dead()) s_.closeLater(f.handle);
  }

  bool run() {
    s_.transferring();
    for (;;) {
      if (s_.dead() || st_.ctx->aborted) return abortAll();
      beginMore();
      issueReads();
      r_.report();
      if (r_.allReported()) return r_.end(true, {});
      s_.pump(Deadline::never(), [this](uint32_t id, uint8_t type, Reader& body) {
        return answer(id, type, body);
      });
    }
  }

 private:
  struct File {
    std::string path;
    std::string handle;
    uint32_t openId = 0, closeId = 0;
    std::unique_ptr<LocalTarget> target;
    std::unique_ptr<Download> down;
  };

  void beginMore() {
    while (r_.mayBegin() && static_cast<size_t>(r_.underWay()) < kFilesAhead) {
      const int32_t i = r_.begin();
      tg_batch_entry& e = r_.entry(i);
      File& f = files_[static_cast<size_t>(i)];
      f.path = resolvePath(st_, e.remote);
      f.target = std::make_unique<LocalTarget>(st_);
      if (!e.local || !f.target->open(e.local, false)) {
        if (!e.local) st_.fail("get " + f.path + ": no local file given");
        fail(i);
        continue;
      }
      s_.start(fxp::Open).str(f.path).u32(SSH_FXF_READ).attrs(Attrs{});
      f.openId = s_.finish();
      owner_[f.openId] = i;
    }
  }

  // Reads for the earliest files first, so that files finish in their order.
  void issueReads() {
    while (firstActive_ < r_.begun() && r_.finished(firstActive_) &&
           !files_[static_cast<size_t>(firstActive_)].down)
      ++firstActive_;
    size_t inFlight = 0;
    for (int32_t i = firstActive_; i < r_.begun(); ++i) {
      const File& f = files_[static_cast<size_t>(i)];
      if (f.down) inFlight += f.down->inflight();
    }
    for (int32_t i = firstActive_; i < r_.begun() && inFlight < kReadsInFlight; ++i) {
      File& f = files_[static_cast<size_t>(i)];
      if (!r_.finished(i) && f.down && f.closeId == 0)
        inFlight += f.down->issue(kReadsInFlight - inFlight);
    }
  }

  bool answer(uint32_t id, uint8_t type, Reader& body) {
    auto it = owner_.find(id);
    if (it == owner_.end()) return false;
    const int32_t i = it->second;
    owner_.erase(it);
    File& f = files_[static_cast<size_t>(i)];
    if (id == f.openId) {
      f.openId = 0;
      opened(i, type, body);
    } else if (id == f.closeId) {
      closed(i, type, body);
    } else if (f.down) {
      f.down->take(id, type, body, [&f](uint64_t off, const uint8_t* p, size_t n) {
        return f.target->write(off, p, n);
      });
      if (!r_.finished(i)) progress(i);
      release(i);
    }
    return true;
  }

  void opened(int32_t i, uint8_t type, Reader& body) {
    File& f = files_[static_cast<size_t>(i)];
    if (type != fxp::Handle) {
      Reply rep{type, std::vector<uint8_t>(body.data(), body.data() + body.left())};
      unexpected(st_, rep, "open " + f.path);
      fail(i);
      return;
    }
    f.handle = std::string(body.str());
    if (!body.ok()) {
      st_.fail("open " + f.path + ": malformed answer", TG_ERRKIND_PROTOCOL);
      f.handle.clear();
      fail(i);
      return;
    }
    f.down = std::make_unique<Download>(st_, c_, f.handle, 0, "get " + f.path);
    f.down->onRequest([this, i](uint32_t rid) { owner_[rid] = i; });
    const uint64_t most = r_.entry(i).maxsize;
    if (most != std::numeric_limits<uint64_t>::max()) f.down->setBound(most);
    f.down->boundBySize(most == std::numeric_limits<uint64_t>::max());
    f.down->requestSize();
  }

  void progress(int32_t i) {
    File& f = files_[static_cast<size_t>(i)];
    if (f.down->failed()) {
      fail(i);
      return;
    }
    if (!f.down->finished() || f.closeId) return;
    if (!f.target->sync()) {
      fail(i);
      return;
    }
    s_.start(fxp::Close).str(f.handle);
    f.closeId = s_.finish();
    owner_[f.closeId] = i;
  }

  void closed(int32_t i, uint8_t type, Reader& body) {
    File& f = files_[static_cast<size_t>(i)];
    f.handle.clear();
    Reply rep{type, std::vector<uint8_t>(body.data(), body.data() + body.left())};
    const Attrs* attrs = f.down->haveAttrs() ? &f.down->attrs() : nullptr;
    if (!expectOk(st_, rep, "get " + f.path + ": close") || !f.target->commit()) {
      fail(i);
      return;
    }
    tg_batch_entry& e = r_.entry(i);
    if (attrs) toC(*attrs, e.attrs);
    e.bytes = f.down->deliveredEnd();
    r_.succeed(i, TG_BATCH_DONE);
    f.down.reset();
    f.target.reset();
  }

  // A failed entry gives back its handle and leaves no local file; answers
  // still on their way are dropped when they come.
  void fail(int32_t i) {
    File& f = files_[static_cast<size_t>(i)];
    if (f.down) {
      const Attrs* attrs = f.down->haveAttrs() ? &f.down->attrs() : nullptr;
      if (attrs) toC(*attrs, r_.entry(i).attrs);
    }
    r_.fail(i, TG_BATCH_FAILED);
    if (f.target) f.target->abort();
    if (!f.handle.empty() && f.closeId == 0 && !s_.dead()) s_.closeLater(f.handle);
    f.handle.clear();
    release(i);
  }

  // Frees a finished file's engine once no answer for it is outstanding.
  void release(int32_t i) {
    File& f = files_[static_cast<size_t>(i)];
    if (!r_.finished(i) || !f.down || !f.down->quiet()) return;
    f.down.reset();
    f.target.reset();
  }

  bool abortAll() {
    ErrorInfo fatal;
    if (!s_.dead()) {
      st_.fail("get: aborted");
      fatal = st_.error();
      s_.kill("aborted by the caller", TG_ERRKIND_OTHER);
    } else {
      fatal = st_.error();
    }
    for (int32_t i = 0; i < r_.begun(); ++i) {
      File& f = files_[static_cast<size_t>(i)];
      if (r_.finished(i)) continue;
      st_.setError(fatal);
      f.handle.clear();
      fail(i);
    }
    r_.report();
    return r_.end(false, fatal);
  }

  LibState& st_;
  Connection& c_;
  SftpChannel& s_;
  Reporter r_;
  std::vector<File> files_;
  std::unordered_map<uint32_t, int32_t> owner_;
  int32_t firstActive_ = 0;
};

// ------------------------------------------------------ statfiles, rmfiles

class StatOrRemove {
 public:
  StatOrRemove(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
               tg_batch_callback check, tg_batch_callback done)
      : st_(st), s_(c.sftp()), r_(st, count, entries, done), check_(check) {}

  bool run() {
    for (;;) {
      if (s_.dead() || st_.ctx->aborted) return abortAll();
      while (r_.mayBegin() && static_cast<size_t>(r_.underWay()) < kEntriesInFlight) begin();
      r_.report();
      if (r_.allReported()) return r_.end(true, {});
      s_.pump(Deadline::never(), [this](uint32_t id, uint8_t type, Reader& body) {
        return answer(id, type, body);
      });
    }
  }

 private:
  struct Step {
    int32_t index;
    bool removing;
  };

  void begin() {
    const int32_t i = r_.begin();
    const std::string path = resolvePath(st_, r_.entry(i).remote);
    s_.start(fxp::Lstat).str(path);
    owner_[s_.finish()] = {i, false};
  }

  bool answer(uint32_t id, uint8_t type, Reader& body) {
    auto it = owner_.find(id);
    if (it == owner_.end()) return false;
    const Step step = it->second;
    owner_.erase(it);
    const int32_t i = step.index;
    tg_batch_entry& e = r_.entry(i);
    const std::string path = resolvePath(st_, e.remote);
    Reply rep{type, std::vector<uint8_t>(body.data(), body.data() + body.left())};
    if (step.removing) {
      if (expectOk(st_, rep, "rm " + path))
        r_.succeed(i, TG_BATCH_DONE);
      else
        r_.fail(i, TG_BATCH_FAILED_LATER);
      return true;
    }
    if (type != fxp::Attrs) {
      unexpected(st_, rep, "lstat " + path);
      r_.fail(i, TG_BATCH_FAILED);
      return true;
    }
    Attrs a = body.attrs();
    if (!body.ok()) {
      st_.fail("lstat " + path + ": malformed answer", TG_ERRKIND_PROTOCOL);
      r_.fail(i, TG_BATCH_FAILED);
      return true;
    }
    toC(a, e.attrs);
    if (!check_) {
      r_.succeed(i, TG_BATCH_DONE);
    } else if (!check_(i, &e, st_.ctx)) {
      r_.succeed(i, TG_BATCH_KEPT);
    } else {
      s_.start(fxp::Remove).str(path);
      owner_[s_.finish()] = {i, true};
    }
    return true;
  }

  // Entries under way fail with the connection's error; a remove that was
  // sent and never answered may or may not have been carried out.
  bool abortAll() {
    if (!s_.dead()) {
      st_.fail("aborted by the caller");
      s_.kill("aborted by the caller", TG_ERRKIND_OTHER);
    }
    const ErrorInfo fatal = st_.error();
    for (const auto& [id, step] : owner_) {
      if (r_.finished(step.index)) continue;
      st_.setError(fatal);
      r_.fail(step.index, step.removing ? TG_BATCH_FAILED_LATER : TG_BATCH_FAILED);
    }
    owner_.clear();
    r_.report();
    return r_.end(false, fatal);
  }

  LibState& st_;
  SftpChannel& s_;
  Reporter r_;
  tg_batch_callback check_;
  std::unordered_map<uint32_t, Step> owner_;
};

}  // namespace

bool getFiles(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
              tg_batch_callback done) {
  st.checkpoint("getfiles");
  return GetFiles(st, c, count, entries, done).run();
}

bool statOrRemoveFiles(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
                       tg_batch_callback check, tg_batch_callback done) {
  st.checkpoint(check ? "rmfiles" : "statfiles");
  return StatOrRemove(st, c, count, entries, check, done).run();
}

}  // namespace belvanto::tglib
