// Folder, name and attribute operations, each one round trip where the
// protocol allows (cd sends its canonicalisation and its check together).
#include "Remote.h"

#include <cstring>
#include <vector>

namespace belvanto::tglib {

namespace {

constexpr uint32_t kIsDir = 0040000;
constexpr uint32_t kTypeMask = 0170000;

// Sends one request carrying one path, and waits for its answer.
bool pathCall(Connection& c, uint8_t type, const std::string& path, Reply& r) {
  SftpChannel& s = c.sftp();
  s.start(type).str(path);
  return s.wait(s.finish(), r);
}

}  // namespace

std::string resolvePath(const LibState& st, const char* path) {
  const std::string& pwd = st.pwd();
  if (!path || !*path) return pwd;
  if (path[0] == '/' || pwd.empty()) return path;
  return pwd.back() == '/' ? pwd + path : pwd + "/" + path;
}

bool expectOk(LibState& st, const Reply& r, const std::string& what) {
  if (r.type != fxp::Status) return unexpected(st, r, what);
  Reader rd = r.reader();
  Status s = readStatus(rd);
  if (s.code == fxp::Ok) return true;
  st.failStatus(s.code, s.text, what);
  return false;
}

bool unexpected(LibState& st, const Reply& r, const std::string& what) {
  if (r.type == fxp::Status) {
    Reader rd = r.reader();
    Status s = readStatus(rd);
    st.failStatus(s.code == fxp::Ok ? fxp::Failure : s.code, s.text, what);
  } else {
    st.fail(what + ": unexpected answer from the server (type " + std::to_string(r.type) + ")",
            TG_ERRKIND_PROTOCOL);
  }
  return false;
}

bool changeDir(LibState& st, Connection& c, const std::string& dir) {
  SftpChannel& s = c.sftp();
  s.start(fxp::Realpath).str(dir);
  uint32_t realId = s.finish();
  s.start(fxp::Stat).str(dir);
  uint32_t statId = s.finish();
  Reply real, stat;
  if (!s.wait(realId, real) || !s.wait(statId, stat)) return false;
  std::string what = "cd " + dir;
  if (real.type != fxp::Name) return unexpected(st, real, what);
  Reader r = real.reader();
  uint32_t count = r.u32();
  std::string canonical(r.str());
  if (!r.ok() || count < 1 || canonical.empty()) {
    st.fail(what + ": the server sent no folder name");
    return false;
  }
  if (stat.type != fxp::Attrs) return unexpected(st, stat, what);
  Reader a = stat.reader();
  Attrs attrs = a.attrs();
  if ((attrs.flags & SSH_FILEXFER_ATTR_PERMISSIONS) && (attrs.permissions & kTypeMask) != kIsDir) {
    st.fail(what + ": not a folder");
    return false;
  }
  st.setPwd(canonical);
  st.verbose("Remote directory is now " + canonical);
  return true;
}

bool listDir(LibState& st, Connection& c, const std::string& dir) {
  SftpChannel& s = c.sftp();
  std::string what = "ls " + dir;
  Reply r;
  if (!pathCall(c, fxp::Opendir, dir, r)) return false;
  if (r.type != fxp::Handle) return unexpected(st, r, what);
  Reader hr = r.reader();
  std::string handle(hr.str());

  struct Entry {
    std::string name, longname;
    Attrs attrs;
  };
  std::vector<Entry> entries;
  size_t bytes = 0;
  bool ok = true;
  s.transferring();
  for (;;) {
    s.start(fxp::Readdir).str(handle);
    if (!s.wait(s.finish(), r)) return false;
    if (r.type == fxp::Status) {
      Reader sr = r.reader();
      Status st2 = readStatus(sr);
      if (st2.code != fxp::Eof) {
        st.failStatus(st2.code, st2.text, what);
        ok = false;
      }
      break;
    }
    if (r.type != fxp::Name) {
      ok = unexpected(st, r, what);
      break;
    }
    Reader nr = r.reader();
    uint32_t n = nr.u32();
    for (uint32_t i = 0; i < n && nr.ok(); ++i) {
      Entry e;
      e.name = nr.str();
      e.longname = nr.str();
      e.attrs = nr.attrs();
      if (!nr.ok()) break;
      bytes += sizeof(Entry) + sizeof(fxp_name) + e.name.size() + e.longname.size() + 2;
      entries.push_back(std::move(e));
    }
    if (!nr.ok()) {
      st.fail(what + ": malformed listing from the server", TG_ERRKIND_PROTOCOL);
      ok = false;
      break;
    }
    // A server that lists without end must not take the memory of the machine.
    if (entries.size() > TG_LIST_MAX_ENTRIES || bytes > size_t(TG_LIST_MAX_BYTES)) {
      st.fail(what + ": the folder has more than " +
                  (entries.size() > TG_LIST_MAX_ENTRIES
                       ? std::to_string(TG_LIST_MAX_ENTRIES) + " entries"
                       : std::to_string(TG_LIST_MAX_BYTES / 1048576) + " MB of entries"),
              TG_ERRKIND_TOOLARGE);
      ok = false;
      break;
    }
  }
  if (!ok) {
    s.closeLater(handle);
    return false;
  }
  if (!closeHandle(st, c, handle, what)) return false;

  std::vector<fxp_name> names(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    names[i].filename = entries[i].name.data();
    names[i].longname = entries[i].longname.data();
    toC(entries[i].attrs, names[i].attrs);
  }
  fxp_names all{};
  all.nnames = static_cast<int32_t>(names.size());
  all.names = names.data();
  st.verbose("Listing of " + dir + ": " + std::to_string(names.size()) + " entries");
  if (st.ctx->ls_callback) st.ctx->ls_callback(&all, st.ctx);
  return true;
}

bool removeFile(LibState& st, Connection& c, const std::string& path) {
  Reply r;
  return pathCall(c, fxp::Remove, path, r) && expectOk(st, r, "rm " + path);
}

bool removeDir(LibState& st, Connection& c, const std::string& path) {
  Reply r;
  return pathCall(c, fxp::Rmdir, path, r) && expectOk(st, r, "rmdir " + path);
}

bool makeDir(LibState& st, Connection& c, const std::string& path) {
  SftpChannel& s = c.sftp();
  s.start(fxp::Mkdir).str(path).attrs(Attrs{});
  Reply r;
  return s.wait(s.finish(), r) && expectOk(st, r, "mkdir " + path);
}

bool renamePath(LibState& st, Connection& c, const std::string& from, const std::string& to,
                int32_t flags, bool extended) {
  SftpChannel& s = c.sftp();
  std::string what = "mv " + from + " " + to;
  bool overwrite = extended && (flags & TG_RENAME_OVERWRITE);
  bool wantsNative = extended && (flags & (TG_RENAME_OVERWRITE | TG_RENAME_NATIVE));
  bool posix = s.hasExtension("posix-rename@openssh.com");
  Reply r;
  if (wantsNative && posix) {
    s.start(fxp::Extended).str("posix-rename@openssh.com").str(from).str(to);
    return s.wait(s.finish(), r) && expectOk(st, r, what);
  }
  if (overwrite && (flags & TG_RENAME_ATOMIC)) {
    st.fail(what + ": the server offers no atomic overwriting rename");
    return false;
  }
  s.start(fxp::Rename).str(from).str(to);
  if (!s.wait(s.finish(), r)) return false;
  if (!overwrite || r.type != fxp::Status) return expectOk(st, r, what);
  // The plain rename refuses an existing target. Removing it first would lose
  // it whenever the rename then fails for another reason: it is left alone.
  Reader rd = r.reader();
  Status status = readStatus(rd);
  if (status.code == fxp::Ok) return true;
  st.failStatus(status.code,
                (status.text.empty() ? statusText(status.code) : status.text) +
                    " (the server offers no rename that replaces a file; " + to +
                    " is left as it was)",
                what);
  return false;
}

bool getAttrs(LibState& st, Connection& c, const std::string& path, Attrs& out) {
  Reply r;
  if (!pathCall(c, fxp::Stat, path, r)) return false;
  if (r.type != fxp::Attrs) return unexpected(st, r, "stat " + path);
  Reader rd = r.reader();
  out = rd.attrs();
  return true;
}

bool setAttrs(LibState& st, Connection& c, const std::string& path, const Attrs& attrs) {
  SftpChannel& s = c.sftp();
  s.start(fxp::Setstat).str(path).attrs(attrs);
  Reply r;
  return s.wait(s.finish(), r) && expectOk(st, r, "setstat " + path);
}

bool openHandle(LibState& st, Connection& c, const std::string& path, uint32_t pflags,
                const Attrs& attrs, std::string& handle) {
  SftpChannel& s = c.sftp();
  s.start(fxp::Open).str(path).u32(pflags).attrs(attrs);
  Reply r;
  if (!s.wait(s.finish(), r)) return false;
  if (r.type != fxp::Handle) return unexpected(st, r, "open " + path);
  Reader rd = r.reader();
  handle = std::string(rd.str());
  return rd.ok();
}

bool closeHandle(LibState& st, Connection& c, const std::string& handle, const std::string& what) {
  SftpChannel& s = c.sftp();
  s.start(fxp::Close).str(handle);
  Reply r;
  return s.wait(s.finish(), r) && expectOk(st, r, what + ": close");
}

void toC(const Attrs& a, fxp_attrs& out) {
  std::memset(&out, 0, sizeof out);
  out.flags = a.flags;
  out.size = a.size;
  out.uid = a.uid;
  out.gid = a.gid;
  out.permissions = a.permissions;
  out.atime = a.atime;
  out.mtime = a.mtime;
}

Attrs fromC(const fxp_attrs& in) {
  Attrs a;
  a.flags = in.flags & 0xf;
  a.size = in.size;
  a.uid = in.uid;
  a.gid = in.gid;
  a.permissions = in.permissions;
  a.atime = in.atime;
  a.mtime = in.mtime;
  return a;
}

}  // namespace belvanto::tglib
