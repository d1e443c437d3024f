// The SFTP session over the library's function table: construction checks,
// the checked operations, the callbacks the library calls back through, and
// the block-wise download with its own stall time-out.
#include "transfer/tgputtysftp.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <mutex>
#include <vector>

namespace belvanto {

static_assert(sizeof(TTGLibraryContext) == 400, "the context record is 400 bytes");

namespace {

constexpr int32_t kMinimumBuild = 8;
constexpr int32_t kQueuedTransferBuild = 12;
constexpr int32_t kExpectedConfCount = 85;
constexpr int32_t kDefaultTimeout = 60000;

// Configuration names of the library, sorted without regard to case, with
// their positions in the library's array. One per process, built once.
struct ConfName {
  std::string name;
  int32_t position;
};
std::vector<ConfName> ConfNameIndex;
std::mutex ConfNameIndexLock;
bool ConfNameIndexBuilt = false;

char foldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Negative, 0 or positive like strcmp, ASCII letters folded.
int compareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(foldAscii(a[i]));
    const auto y = static_cast<unsigned char>(foldAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int64_t tickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string formatDouble(double value, std::chars_format format, int precision) {
  // to_chars ignores the process's locale: always a decimal point.
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, format, precision);
  return std::string(buf, r.ptr);
}

std::string text(const char* s) {
  return s ? std::string(s) : std::string();
}

TTGPuttySFTP& session(TTGLibraryContext* ctx) {
  return *reinterpret_cast<TTGPuttySFTP*>(static_cast<uintptr_t>(ctx->Tag));
}

// Seconds since 1970 of a calendar date and time taken as UTC.
int64_t utcSeconds(const Zeitpunkt& z) {
  using namespace std::chrono;
  const sys_days tag{year{z.datum.jahr} / month{static_cast<unsigned>(z.datum.monat)} /
                     std::chrono::day{static_cast<unsigned>(z.datum.tag)}};
  return (tag + hours{z.stunde} + minutes{z.minute} + seconds{z.sekunde})
      .time_since_epoch()
      .count();
}

// The same taken as local time of the process's time zone; -1 if it has none.
int64_t localSeconds(const Zeitpunkt& z) {
  std::tm tm{};
  tm.tm_year = z.datum.jahr - 1900;
  tm.tm_mon = z.datum.monat - 1;
  tm.tm_mday = z.datum.tag;
  tm.tm_hour = z.stunde;
  tm.tm_min = z.minute;
  tm.tm_sec = z.sekunde;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

// Points a session's stream field at a stream for the duration of one call.
class StreamInUse {
 public:
  StreamInUse(TransferStream*& field, TransferStream& stream) : field_(field) { field_ = &stream; }
  ~StreamInUse() { field_ = nullptr; }
  StreamInUse(const StreamInUse&) = delete;
  StreamInUse& operator=(const StreamInUse&) = delete;

 private:
  TransferStream*& field_;
};

}  // namespace

// ---- IostreamTransferStream ----

IostreamTransferStream::IostreamTransferStream(std::iostream& stream)
    : stream_(stream), position_(0) {
  const auto p = stream_.tellp();
  if (p != std::streampos(-1)) position_ = static_cast<int64_t>(p);
}

int64_t IostreamTransferStream::size() {
  stream_.clear();
  stream_.seekg(0, std::ios::end);
  const auto end = stream_.tellg();
  if (end == std::streampos(-1)) throw std::runtime_error("stream size unknown");
  return static_cast<int64_t>(end);
}

int32_t IostreamTransferStream::read(char* buffer, int32_t count) {
  stream_.clear();
  stream_.seekg(position_);
  if (!stream_) return 0;  // beyond the end
  stream_.read(buffer, count);
  const auto got = static_cast<int32_t>(stream_.gcount());
  if (stream_.bad()) return -1;
  stream_.clear();
  position_ += got;
  return got;
}

int32_t IostreamTransferStream::write(const char* buffer, int32_t count) {
  stream_.clear();
  stream_.seekp(position_);
  if (!stream_) return 0;
  stream_.write(buffer, count);
  if (!stream_) return 0;
  position_ += count;
  return count;
}

// ---- construction ----

TTGPuttySFTP::TTGPuttySFTP(bool verbose, const TGPuttyLibrary& lib)
    : Fcontext{}, FVerbose(verbose), FLib(lib) {
  CheckStructSizes();

  double puttyrelease = 0;
  FLib.tgputtygetversions(&puttyrelease, &tgputtylibbuild);
  if (tgputtylibbuild < kMinimumBuild) {
    throw std::runtime_error("tgputtylib is too old, its build number is " +
                             std::to_string(tgputtylibbuild) + ", but we need a minimum of " +
                             std::to_string(kMinimumBuild));
  }

  Fcontext.timeoutticks = kDefaultTimeout;
  Fcontext.connectiontimeoutticks = kDefaultTimeout;
  FVerbose = verbose;
  FProgressIntervalMS = 1000;
  Fcontext.structsize = sizeof(TTGLibraryContext);

  if (FLib.tggetlibrarycontextsize() > static_cast<int32_t>(sizeof(TTGLibraryContext))) {
    throw std::runtime_error("Incorrect TTGLibraryContext record size");
  }

  Fcontext.Tag = reinterpret_cast<uintptr_t>(this);
  Fcontext.ls_callback = &lsCallback;
  Fcontext.getpassword_callback = &getpasswordCallback;
  Fcontext.printmessage_callback = &printmessageCallback;
  Fcontext.progress_callback = &progressCallback;
  Fcontext.read_from_stream = &readFromStream;
  Fcontext.write_to_stream = &writeToStream;
  Fcontext.get_input_callback = &getInputCallback;
  Fcontext.verify_host_key_callback = &verifyHostKeyCallback;
  Fcontext.raise_exception_callback = &raiseExceptionCallback;

  // From here on the library holds state for the context: release it on failure.
  try {
    if (FLib.tgputty_initcontext(verbose, &Fcontext) != 0) {
      throw TGPuttySFTPException("tgputty_initcontext failed - incorrect tgputtylib version?");
    }
    if (!FLib.tgputty_getconfigarrays(&FConfTypes, &FConfSubTypes, &FConfNames, &FConfCount)) {
      throw TGPuttySFTPException("tgputty_getconfigarrays failed - incorrect tgputtylib version?");
    }
    if (FConfCount != kExpectedConfCount) {
      const std::string msg = "Possibly tgputtylib version mismatch, it has " +
                              std::to_string(FConfCount) + " config strings, but we expected " +
                              std::to_string(kExpectedConfCount);
      printmessageCallback(msg.c_str(), TG_MSG_OUT, &Fcontext);
    }
    BuildConfNameIndex();
    if (FLib.tgputty_setwaitcallback) FLib.tgputty_setwaitcallback(&waitCallback, 50, &Fcontext);
  } catch (...) {
    FLib.tgputtyfree(&Fcontext);
    throw;
  }
}

TTGPuttySFTP::~TTGPuttySFTP() {
  Disconnect();
  FLib.tgputtyfree(&Fcontext);
}

void TTGPuttySFTP::CheckStructSizes() {
  // The interface's "unsigned long" is 32 bits on every target.
  const int32_t expected[4] = {sizeof(uint32_t), sizeof(fxp_name), sizeof(fxp_attrs),
                               sizeof(fxp_names)};
  int32_t got[4] = {0, 0, 0, 0};
  FLib.tggetstructsizes(&got[0], &got[1], &got[2], &got[3]);
  if (std::equal(got, got + 4, expected)) return;
  auto pair = [&](int i) { return std::to_string(got[i]) + "/" + std::to_string(expected[i]); };
  throw std::runtime_error(
      "Invalid tgputtylib.dll: uses different struct sizes: ulongsize=" + pair(0) +
      ",namesize=" + pair(1) + ",attrsize=" + pair(2) + ",namessize=" + pair(3));
}

void TTGPuttySFTP::BuildConfNameIndex() {
  std::lock_guard<std::mutex> lock(ConfNameIndexLock);
  if (ConfNameIndexBuilt) return;
  for (int32_t i = 0; i < FConfCount; ++i) {
    if (FConfNames[i]) ConfNameIndex.push_back({FConfNames[i], i});
  }
  std::stable_sort(
      ConfNameIndex.begin(), ConfNameIndex.end(),
      [](const ConfName& a, const ConfName& b) { return compareText(a.name, b.name) < 0; });
  ConfNameIndexBuilt = true;
}

int32_t TTGPuttySFTP::GetPuttyConfIndex(const std::string& name) const {
  const auto it = std::lower_bound(
      ConfNameIndex.begin(), ConfNameIndex.end(), name,
      [](const ConfName& entry, const std::string& n) { return compareText(entry.name, n) < 0; });
  if (it == ConfNameIndex.end() || compareText(it->name, name) != 0) {
    throw TGPuttySFTPException("Putty Conf Name Not Found: " + name);
  }
  return it->position;
}

// ---- properties ----

std::string TTGPuttySFTP::HomeDir() const {
  return text(Fcontext.homedir);
}
std::string TTGPuttySFTP::WorkDir() const {
  return text(Fcontext.pwd);
}
std::string TTGPuttySFTP::ErrorMessage() const {
  return text(Fcontext.fxp_error_message);
}

std::string TTGPuttySFTP::LibVersion() const {
  double puttyrelease = 0;
  int32_t build = 0;
  FLib.tgputtygetversions(&puttyrelease, &build);
  return "tgputtylib build " + std::to_string(build) + " based on PuTTY Release " +
         formatDouble(puttyrelease, std::chars_format::fixed, 2);
}

void TTGPuttySFTP::setVerbose(bool value) {
  FVerbose = value;
  FLib.tgputty_setverbose(static_cast<uint8_t>((FVerbose ? 1 : 0) + 2 * (FCheckpoints ? 1 : 0)));
}

void TTGPuttySFTP::setCheckpoints(bool value) {
  FCheckpoints = value;
  FLib.tgputty_setverbose(static_cast<uint8_t>((FVerbose ? 1 : 0) + 2 * (FCheckpoints ? 1 : 0)));
}

void TTGPuttySFTP::setKeyfile(const std::string& value) {
  FLib.tgputty_setkeyfile(value.c_str(), &Fcontext);
}

TProxyTypes TTGPuttySFTP::ProxyType() {
  return static_cast<TProxyTypes>(
      FLib.tgputty_conf_get_int(GetPuttyConfIndex("proxy_type"), &Fcontext));
}
void TTGPuttySFTP::setProxyType(TProxyTypes value) {
  FLib.tgputty_conf_set_int(GetPuttyConfIndex("proxy_type"), value, &Fcontext);
}
int32_t TTGPuttySFTP::ProxyPort() {
  return FLib.tgputty_conf_get_int(GetPuttyConfIndex("proxy_port"), &Fcontext);
}
void TTGPuttySFTP::setProxyPort(int32_t value) {
  FLib.tgputty_conf_set_int(GetPuttyConfIndex("proxy_port"), value, &Fcontext);
}
std::string TTGPuttySFTP::ProxyHost() {
  return text(FLib.tgputty_conf_get_str(GetPuttyConfIndex("proxy_host"), &Fcontext));
}
void TTGPuttySFTP::setProxyHost(const std::string& value) {
  FLib.tgputty_conf_set_str(GetPuttyConfIndex("proxy_host"), value.c_str(), &Fcontext);
}
std::string TTGPuttySFTP::ProxyUserName() {
  return text(FLib.tgputty_conf_get_str(GetPuttyConfIndex("proxy_username"), &Fcontext));
}
void TTGPuttySFTP::setProxyUserName(const std::string& value) {
  FLib.tgputty_conf_set_str(GetPuttyConfIndex("proxy_username"), value.c_str(), &Fcontext);
}
std::string TTGPuttySFTP::ProxyPassword() {
  return text(FLib.tgputty_conf_get_str(GetPuttyConfIndex("proxy_password"), &Fcontext));
}
void TTGPuttySFTP::setProxyPassword(const std::string& value) {
  FLib.tgputty_conf_set_str(GetPuttyConfIndex("proxy_password"), value.c_str(), &Fcontext);
}

// ---- checked operations ----

void TTGPuttySFTP::BeginOperation() {
  FLastMessages.clear();
  Fcontext.fxp_errtype = TG_ERRTYPE_NONE;
}

std::string TTGPuttySFTP::MakePSFTPErrorMsg(const std::string& where) const {
  if (Fcontext.fxp_errtype < 0) return where + ": Unknown Error.\r\n" + FLastMessages;
  return where + ": Error " + std::to_string(Fcontext.fxp_errtype) + ", " +
         text(Fcontext.fxp_error_message);
}

void TTGPuttySFTP::RaiseError(const char* where) const {
  throw TGPuttySFTPException(MakePSFTPErrorMsg(where));
}

void TTGPuttySFTP::CheckOne(int32_t result, const char* where) const {
  if (result != 1) RaiseError(where);
}

void TTGPuttySFTP::Connect() {
  FPasswordAttempts = 0;
  BeginOperation();
  FConnected = false;
  FConnected = FLib.tgsftp_connect(FHostName.c_str(), FUserName.c_str(), FPort, FPassword.c_str(),
                                   &Fcontext) == 0;
  if (!FConnected) RaiseError("tgsftp_connect");
}

void TTGPuttySFTP::Disconnect() {
  if (!FConnected) return;
  try {
    FLib.tgsftp_close(&Fcontext);
  } catch (...) {
    // Closing is best effort: the connection is given up either way.
  }
  FConnected = false;
}

void TTGPuttySFTP::ChangeDir(const std::string& ADirectory) {
  BeginOperation();
  CheckOne(FLib.tgsftp_cd(ADirectory.c_str(), &Fcontext), "tgsftp_cd");
}

void TTGPuttySFTP::ListDir(const std::string& ADirectory) {
  BeginOperation();
  CheckOne(FLib.tgsftp_ls(ADirectory.c_str(), &Fcontext), "tgsftp_ls");
}

void TTGPuttySFTP::DownloadFile(const std::string& ARemoteFilename,
                                const std::string& ALocalFilename, bool anAppend) {
  BeginOperation();
  CheckOne(
      FLib.tgsftp_getfile(ARemoteFilename.c_str(), ALocalFilename.c_str(), anAppend, &Fcontext),
      "tgsftp_getfile");
}

void TTGPuttySFTP::DeleteFile(const std::string& AName) {
  BeginOperation();
  CheckOne(FLib.tgsftp_rm(AName.c_str(), &Fcontext), "tgsftp_rm");
}

int32_t TTGPuttySFTP::ErrorKind() {
  return FLib.tgputty_geterrorkind ? FLib.tgputty_geterrorkind(&Fcontext) : TG_ERRKIND_OTHER;
}

namespace {

// A failure's text as MakePSFTPErrorMsg words it, from the given fields.
std::string errorText(const std::string& where, int32_t code, const std::string& message) {
  if (code < 0) return where + ": Unknown Error.\r\n" + message;
  return where + ": Error " + std::to_string(code) + ", " + message;
}

// Points a field at a value for the duration of one call.
template <class T>
class Using {
 public:
  Using(T*& field, T* value) : field_(field) { field_ = value; }
  ~Using() { field_ = nullptr; }
  Using(const Using&) = delete;
  Using& operator=(const Using&) = delete;

 private:
  T*& field_;
};

}  // namespace

template <class Call>
void TTGPuttySFTP::RunBatch(const char* where, std::vector<tg_batch_entry>& entries,
                            const TOnBatchDone& done, const TOnBatchCheck* check, Call call) {
  Using<const TOnBatchDone> usingDone(FBatchDone, &done);
  Using<const TOnBatchCheck> usingCheck(FBatchCheck, check);
  FBatchWhere = where;
  BeginOperation();
  if (call(static_cast<int32_t>(entries.size()), entries.data()) != 1) {
    // The connection's own failure, not every file's collected on the way.
    throw TGPuttySFTPException(errorText(where, Fcontext.fxp_errtype, ErrorMessage()));
  }
}

void TTGPuttySFTP::DownloadFiles(const std::vector<BatchItem>& items, const TOnBatchDone& done) {
  std::vector<tg_batch_entry> entries(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    entries[i].remote = items[i].remote.c_str();
    entries[i].local = items[i].local.c_str();
    entries[i].maxsize = items[i].maxSize;
  }
  RunBatch("tgsftp_getfiles", entries, done, nullptr, [&](int32_t n, tg_batch_entry* e) {
    return FLib.tgsftp_getfiles(n, e, &batchDoneCallback, &Fcontext);
  });
}

void TTGPuttySFTP::StatFiles(const std::vector<std::string>& names, const TOnBatchDone& done) {
  std::vector<tg_batch_entry> entries(names.size());
  for (size_t i = 0; i < names.size(); ++i) entries[i].remote = names[i].c_str();
  RunBatch("tgsftp_statfiles", entries, done, nullptr, [&](int32_t n, tg_batch_entry* e) {
    return FLib.tgsftp_statfiles(n, e, &batchDoneCallback, &Fcontext);
  });
}

void TTGPuttySFTP::DeleteFiles(const std::vector<std::string>& names, const TOnBatchCheck& check,
                               const TOnBatchDone& done) {
  std::vector<tg_batch_entry> entries(names.size());
  for (size_t i = 0; i < names.size(); ++i) entries[i].remote = names[i].c_str();
  RunBatch("tgsftp_rmfiles", entries, done, &check, [&](int32_t n, tg_batch_entry* e) {
    return FLib.tgsftp_rmfiles(n, e, &batchCheckCallback, &batchDoneCallback, &Fcontext);
  });
}

void TTGPuttySFTP::MakeDir(const std::string& ADirectory) {
  BeginOperation();
  CheckOne(FLib.tgsftp_mkdir(ADirectory.c_str(), &Fcontext), "tgsftp_mkdir");
}

void TTGPuttySFTP::RemoveDir(const std::string& ADirectory) {
  BeginOperation();
  CheckOne(FLib.tgsftp_rmdir(ADirectory.c_str(), &Fcontext), "tgsftp_rmdir");
}

void TTGPuttySFTP::Move(const std::string& AFromName, const std::string& AToName) {
  BeginOperation();
  CheckOne(FLib.tgsftp_mv(AFromName.c_str(), AToName.c_str(), &Fcontext), "tgsftp_mv");
}

void TTGPuttySFTP::MoveEx(const std::string& AFromName, const std::string& AToName,
                          int32_t MoveFlags) {
  BeginOperation();
  CheckOne(FLib.tgsftp_mvex(AFromName.c_str(), AToName.c_str(), MoveFlags, &Fcontext),
           "tgsftp_mvex");
}

void TTGPuttySFTP::GetStat(const std::string& AFileName, fxp_attrs& Attrs) {
  BeginOperation();
  if (!FLib.tgsftp_getstat(AFileName.c_str(), &Attrs, &Fcontext)) RaiseError("tgsftp_getstat");
}

void TTGPuttySFTP::SetStat(const std::string& AFileName, const fxp_attrs& Attrs) {
  BeginOperation();
  if (!FLib.tgsftp_setstat(AFileName.c_str(), &Attrs, &Fcontext)) RaiseError("tgsftp_setstat");
}

void TTGPuttySFTP::SetModifiedDate(const std::string& AFileName, const Zeitpunkt& ATimestamp,
                                   bool isUTC) {
  fxp_attrs attrs{};
  GetStat(AFileName, attrs);
  const int64_t seconds = isUTC ? utcSeconds(ATimestamp) : localSeconds(ATimestamp);
  attrs.flags = SSH_FILEXFER_ATTR_ACMODTIME;
  attrs.mtime = seconds < 0 ? 0 : static_cast<uint32_t>(seconds);
  SetStat(AFileName, attrs);
}

void TTGPuttySFTP::SetFileSize(const std::string& AFileName, int64_t ASize) {
  fxp_attrs attrs{};
  GetStat(AFileName, attrs);
  attrs.flags = SSH_FILEXFER_ATTR_SIZE;
  attrs.size = static_cast<uint64_t>(ASize);
  SetStat(AFileName, attrs);
}

void TTGPuttySFTP::SetUnixMode(const std::string& AFileName, int32_t AMode) {
  fxp_attrs attrs{};
  GetStat(AFileName, attrs);
  attrs.flags = SSH_FILEXFER_ATTR_PERMISSIONS;
  attrs.permissions = static_cast<uint32_t>(AMode);
  SetStat(AFileName, attrs);
}

void TTGPuttySFTP::UploadFile(const std::string& ALocalFilename, const std::string& ARemoteFilename,
                              bool anAppend) {
  BeginOperation();
  CheckOne(
      FLib.tgsftp_putfile(ALocalFilename.c_str(), ARemoteFilename.c_str(), anAppend, &Fcontext),
      "tgsftp_putfile");
}

void TTGPuttySFTP::UploadStream(const std::string& ARemoteFilename, TransferStream& AStream,
                                bool anAppend) {
  StreamInUse inUse(FUploadStream, AStream);
  BeginOperation();
  CheckOne(FLib.tgsftp_putfile(nullptr, ARemoteFilename.c_str(), anAppend, &Fcontext),
           "tgsftp_putfile");
}

void TTGPuttySFTP::DownloadStream(const std::string& ARemoteFilename, TransferStream& AStream,
                                  bool anAppend) {
  StreamInUse inUse(FDownloadStream, AStream);
  BeginOperation();
  CheckOne(FLib.tgsftp_getfile(ARemoteFilename.c_str(), nullptr, anAppend, &Fcontext),
           "tgsftp_getfile");
}

// ---- block-wise download ----

struct TTGPuttySFTP::DownloadState {
  TGTransfer* xfer = nullptr;
  int64_t offset = 0;  // where the next byte goes, in the stream and the remote file
  bool ok = true;
  int64_t startTime = 0;
  int64_t lastReportTime = 0;
  int64_t total = 0;
  int64_t lastReportTotal = 0;
  int64_t stallStart = 0;  // 0: not stalled
  bool canceled = false;
  std::string errorText;
  std::exception_ptr streamError;
};

void TTGPuttySFTP::DownloadStreamP(const std::string& ARemoteFilename, TransferStream& AStream,
                                   bool anAppend) {
  if (tgputtylibbuild < kQueuedTransferBuild) {
    DownloadStream(ARemoteFilename, AStream, anAppend);
    return;
  }
  ReportCheckpoint("psftp_getf");
  BeginOperation();
  TGFileHandle* fh =
      FLib.tgputty_openfile(ARemoteFilename.c_str(), SSH_FXF_READ, nullptr, &Fcontext);
  if (!fh) RaiseError("DownloadStreamP");

  DownloadState st;
  // An exception from an event or the stream's size must not leak the transfer or the handle.
  bool released = false;
  struct Release {
    TTGPuttySFTP& s;
    DownloadState& st;
    TGFileHandle*& fh;
    bool& released;
    ~Release() {
      if (released) return;
      if (st.xfer) s.FLib.tgputty_xfer_cleanup(st.xfer, &s.Fcontext);
      s.FLib.tgputty_closefile(&fh, &s.Fcontext);
    }
  } release{*this, st, fh, released};
  ReportCheckpoint("psgetf30");

  st.offset = anAppend ? AStream.size() : AStream.position();
  if (Fcontext.timeoutticks < 1000) Fcontext.timeoutticks = kDefaultTimeout;
  st.startTime = st.lastReportTime = tickMs();

  ReportCheckpoint("psgetf60");
  st.xfer = xfer_download_init(fh, static_cast<uint64_t>(st.offset));
  ReportCheckpoint("psgetf61");

  while (st.ok && !xfer_done(st.xfer) && !st.canceled && !Fcontext.aborted) {
    ReportCheckpoint("psgetf62");
    const int64_t totalBefore = st.total;
    ReportCheckpoint("psgetf63");
    st.ok = xfer_download_preparequeue(st.xfer);
    ReportCheckpoint("psgetf70");
    void* block = nullptr;
    int32_t len = 0;
    while (st.ok && xfer_download_data(st.xfer, block, len)) {
      ReportCheckpoint("psgetf71");
      if (WriteBlock(st, AStream, static_cast<const char*>(block), len)) {
        st.total += len;
        ReportCheckpoint("psgetf80");
        ReportDownloadProgress(st);
      }
      ReportCheckpoint("psgetf83");
      FLib.tgputty_sfree(block, &Fcontext);
    }
    if (!st.ok) break;
    ReportCheckpoint("psgetf90");
    if (StalledTooLong(st, totalBefore)) break;
  }

  ReportCheckpoint("psgetf96");
  const int64_t elapsed = std::max<int64_t>(tickMs() - st.startTime, 1);
  ReportCheckpoint("psgetf97");
  if (OnMessage) {
    const double rate = static_cast<double>(st.total) / 1024.0 / static_cast<double>(elapsed);
    OnMessage("Downloaded " + std::to_string(st.total) + " Bytes in " + std::to_string(elapsed) +
                  " milliseconds, rate = " + formatDouble(rate, std::chars_format::general, 15) +
                  " MB/sec.\r\n",
              false);
  }
  ReportCheckpoint("psgetf98");
  released = true;
  xfer_cleanup(st.xfer);
  ReportCheckpoint("psgetf100");
  CloseFile(fh);

  if (!st.ok) {
    if (st.streamError) std::rethrow_exception(st.streamError);
    if (!st.errorText.empty()) throw TGPuttySFTPException(st.errorText);
    RaiseError("DownloadStreamP");
  }
  ReportCheckpoint("psgetf103");
}

bool TTGPuttySFTP::WriteBlock(DownloadState& st, TransferStream& stream, const char* data,
                              int32_t len) {
  int32_t written = 0;
  while (written < len) {
    ReportCheckpoint("psgetf74");
    int32_t n = 0;
    try {
      if (stream.position() != st.offset) stream.seek(st.offset);
      n = stream.write(data + written, len - written);
    } catch (...) {
      st.streamError = std::current_exception();
      n = 0;
    }
    ReportCheckpoint("psgetf75");
    if (n <= 0) {
      ReportCheckpoint("psgetf76");
      if (st.errorText.empty()) st.errorText = "error while writing local stream";
      st.ok = false;
      xfer_set_error(st.xfer);
      break;
    }
    written += n;
    st.offset += n;
  }
  if (written == len) return true;
  if (st.errorText.empty()) st.errorText = "error while writing local stream (B)";
  ReportCheckpoint("psgetf77");
  st.ok = false;
  xfer_set_error(st.xfer);
  return false;
}

void TTGPuttySFTP::ReportDownloadProgress(DownloadState& st) {
  if (!OnProgress) return;
  const int64_t now = tickMs();
  const bool due = FProgressAfterBytes < 0 || st.total - st.lastReportTotal > FProgressAfterBytes ||
                   FProgressIntervalMS < 0 || now - st.lastReportTime >= FProgressIntervalMS;
  if (!due) return;
  ReportCheckpoint("psgetf81");
  if (!OnProgress(st.total, false)) {
    ReportCheckpoint("psgetf82");
    st.canceled = true;
    st.ok = false;
    PrintMessage("Canceling ...\r\n", TG_MSG_OUT);
  }
  st.lastReportTime = now;
  st.lastReportTotal = st.total;
}

bool TTGPuttySFTP::StalledTooLong(DownloadState& st, int64_t totalBefore) {
  if (st.total > totalBefore) {
    st.stallStart = 0;
    return false;
  }
  const int64_t now = tickMs();
  if (st.stallStart == 0) {
    st.stallStart = now;
    return false;
  }
  if (now - st.stallStart <= Fcontext.timeoutticks) return false;
  ReportCheckpoint("psgetf95");
  PrintMessage("Timeout error, no more data received.\r\n", TG_MSG_OUT);
  st.ok = false;
  xfer_set_error(st.xfer);
  return true;
}

// ---- low-level access ----

TGFileHandle* TTGPuttySFTP::OpenFile(const std::string& apathname, int32_t anopenflags,
                                     const fxp_attrs* attrs) {
  BeginOperation();
  return FLib.tgputty_openfile(apathname.c_str(), anopenflags, attrs, &Fcontext);
}

int32_t TTGPuttySFTP::CloseFile(TGFileHandle*& fh) {
  return FLib.tgputty_closefile(&fh, &Fcontext);
}

TGTransfer* TTGPuttySFTP::xfer_download_init(TGFileHandle* fh, uint64_t offset) {
  return FLib.tgputty_xfer_download_init(fh, offset, &Fcontext);
}

TGTransfer* TTGPuttySFTP::xfer_upload_init(TGFileHandle* fh, uint64_t offset) {
  return FLib.tgputty_xfer_upload_init(fh, offset, &Fcontext);
}

bool TTGPuttySFTP::xfer_download_preparequeue(TGTransfer* xfer) {
  return FLib.tgputty_xfer_download_preparequeue(xfer, &Fcontext);
}

bool TTGPuttySFTP::xfer_upload_ready(TGTransfer* xfer) {
  return FLib.tgputty_xfer_upload_ready(xfer, &Fcontext);
}

bool TTGPuttySFTP::xfer_done(TGTransfer* xfer) {
  return FLib.tgputty_xfer_done(xfer, &Fcontext);
}

bool TTGPuttySFTP::xfer_ensuredone(TGTransfer* xfer) {
  return FLib.tgputty_xfer_ensuredone(xfer, &Fcontext);
}

bool TTGPuttySFTP::xfer_download_data(TGTransfer* xfer, void*& buffer, int32_t& len) {
  return FLib.tgputty_xfer_download_data(xfer, &buffer, &len, &Fcontext);
}

void TTGPuttySFTP::xfer_upload_data(TGTransfer* xfer, const char* buffer, int32_t len,
                                    uint64_t anoffset) {
  FLib.tgputty_xfer_upload_data(xfer, buffer, len, anoffset, &Fcontext);
}

void TTGPuttySFTP::xfer_set_error(TGTransfer* xfer) {
  FLib.tgputty_xfer_set_error(xfer, &Fcontext);
}

void TTGPuttySFTP::xfer_cleanup(TGTransfer* xfer) {
  FLib.tgputty_xfer_cleanup(xfer, &Fcontext);
}

// ---- configuration ----

void TTGPuttySFTP::SetBooleanConfigValue(const std::string& OptionName, bool value) {
  FLib.tgputty_conf_set_bool(GetPuttyConfIndex(OptionName), value, &Fcontext);
}

void TTGPuttySFTP::SetIntegerConfigValue(const std::string& OptionName, int32_t value) {
  FLib.tgputty_conf_set_int(GetPuttyConfIndex(OptionName), value, &Fcontext);
}

void TTGPuttySFTP::SetStringConfigValue(const std::string& OptionName, const std::string& value) {
  FLib.tgputty_conf_set_str(GetPuttyConfIndex(OptionName), value.c_str(), &Fcontext);
}

// ---- messages and checkpoints ----

void TTGPuttySFTP::ReportCheckpoint(const char* name) {
  if (OnCheckpoint) OnCheckpoint(name, TG_MSG_CHECKPOINT);
}

void TTGPuttySFTP::PrintMessage(const std::string& msg, uint8_t kind) {
  printmessageCallback(msg.c_str(), kind, &Fcontext);
}

// ---- callbacks ----

bool TTGPuttySFTP::lsCallback(const fxp_names* names, TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  return s.OnListing ? s.OnListing(names) : true;
}

const char* TTGPuttySFTP::getpasswordCallback(const char* prompt, bool /*echo*/, bool* cancel,
                                              TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  ++s.FPasswordAttempts;
  if (s.FPasswordAttempts <= 3) {
    if (cancel) *cancel = false;
    const bool forKey = prompt && std::strstr(prompt, "Passphrase for key") != nullptr;
    return forKey ? s.FKeyPassword.c_str() : s.FPassword.c_str();
  }
  if (cancel) *cancel = true;
  if (s.OnMessage) {
    s.OnMessage("Password was rejected, or no password given for " + text(prompt) + ".\r\n", true);
  }
  return nullptr;
}

void TTGPuttySFTP::printmessageCallback(const char* msg, uint8_t kind, TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  const std::string m = text(msg);
  if (kind == TG_MSG_CHECKPOINT) {
    if (s.OnCheckpoint) s.OnCheckpoint(m, kind);
    return;
  }
  if (s.OnMessage) s.OnMessage(m, kind == TG_MSG_ERR);
  s.FLastMessages += m;
}

bool TTGPuttySFTP::progressCallback(int64_t bytescopied, bool isupload, TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  return s.OnProgress ? s.OnProgress(bytescopied, isupload) : true;
}

int32_t TTGPuttySFTP::readFromStream(uint64_t offset, char* buffer, int32_t bufsize,
                                     TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  if (!s.FUploadStream) return 0;
  s.FUploadStream->seek(static_cast<int64_t>(offset));
  return s.FUploadStream->read(buffer, bufsize);
}

int32_t TTGPuttySFTP::writeToStream(uint64_t offset, const char* buffer, int32_t len,
                                    TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  if (!s.FDownloadStream) return 0;
  s.FDownloadStream->seek(static_cast<int64_t>(offset));
  const int32_t written = s.FDownloadStream->write(buffer, len);
  if (s.OnProgress) s.OnProgress(static_cast<int64_t>(offset) + len, false);
  return written;
}

bool TTGPuttySFTP::getInputCallback(char* linebuf, int32_t maxlen, TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  std::string line;
  bool answer = true;
  if (s.OnGetInput) {
    bool cancel = false;
    line = s.OnGetInput(cancel);
    answer = !cancel;
  } else {
    // Without a terminal to ask (a GUI process, a service) there is nobody to type.
    if (!isatty(STDIN_FILENO)) throw std::runtime_error("No input method available");
    std::cout << "Your Input: " << std::flush;
    if (!std::getline(std::cin, line)) throw std::runtime_error("No input method available");
  }
  if (answer && linebuf && maxlen > 0) {
    const size_t n = std::min(line.size(), static_cast<size_t>(maxlen) - 1);
    std::memcpy(linebuf, line.data(), n);
    linebuf[n] = '\0';
  }
  return answer;
}

bool TTGPuttySFTP::verifyHostKeyCallback(const char* host, int32_t port, const char* /*keytype*/,
                                         const char* /*keystr*/, const char* fingerprint,
                                         int32_t verificationstatus, bool* storehostkey,
                                         TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  if (!s.OnVerifyHostKey) return false;
  bool store = storehostkey ? *storehostkey : false;
  const bool accepted = s.OnVerifyHostKey(host, port, fingerprint, verificationstatus, store);
  if (storehostkey) *storehostkey = store;
  return accepted;
}

void TTGPuttySFTP::waitCallback(TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  if (s.OnWait) s.OnWait();
}

bool TTGPuttySFTP::batchDoneCallback(int32_t index, tg_batch_entry* entry, TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  if (!s.FBatchDone || !*s.FBatchDone) return true;
  BatchResult r;
  r.result = entry->result;
  r.attrs = entry->attrs;
  r.bytes = entry->bytes;
  r.errorCode = entry->fxp_errtype;
  r.errorKind = entry->errorkind;
  if (r.result == TG_BATCH_FAILED || r.result == TG_BATCH_FAILED_LATER)
    r.error = errorText(s.FBatchWhere, ctx->fxp_errtype, text(ctx->fxp_error_message));
  return (*s.FBatchDone)(static_cast<size_t>(index), r);
}

bool TTGPuttySFTP::batchCheckCallback(int32_t index, tg_batch_entry* entry,
                                      TTGLibraryContext* ctx) {
  TTGPuttySFTP& s = session(ctx);
  return s.FBatchCheck && *s.FBatchCheck && (*s.FBatchCheck)(static_cast<size_t>(index), entry->attrs);
}

void TTGPuttySFTP::raiseExceptionCallback(const char* msg, const char* srcfile, int32_t line) {
  throw TGPuttySFTPException("TTGPuttySFTP exception " + text(msg) + " at line " +
                             std::to_string(line) + " in " + text(srcfile));
}

}  // namespace belvanto
