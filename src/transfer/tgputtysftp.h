// The program's SFTP client session: one object owns one context of the SFTP
// library tgputtylib and at most one connection to the server. Every operation
// is synchronous and raises TGPuttySFTPException on failure; the library calls
// back into the session on the same thread, and the session hands those calls
// on to its events (OnMessage, OnCheckpoint, OnProgress, OnListing, OnGetInput,
// OnVerifyHostKey).
//
// Texts are std::string holding the library's 8-bit bytes as they are; the
// session converts nothing. Names follow the library's documentation: a
// property X reads as X() and writes as setX(); an event is a public
// std::function member of the event's name (the property and its field are one
// there). The library is reached only through a TGPuttyLibrary table, the
// shared library's own by default.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/tgputtylib/tgputtylib.h"
#include "transfer/tgputtylibrary.h"
#include "util/Datum.h"

namespace belvanto {

class TGPuttySFTPException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A seekable byte stream the session reads uploads from and writes downloads
// into. Positions and sizes are in bytes from the stream's start. read and
// write return the count they moved (read: 0 at the end); a failure may be a
// result of 0 or below, or an exception.
class TransferStream {
 public:
  virtual ~TransferStream() = default;
  virtual int64_t position() = 0;
  virtual void seek(int64_t position) = 0;
  virtual int64_t size() = 0;
  virtual int32_t read(char* buffer, int32_t count) = 0;
  virtual int32_t write(const char* buffer, int32_t count) = 0;
};

// A TransferStream over a std::iostream (a std::fstream opened binary, a
// std::stringstream). It keeps its own position, starting at the stream's
// current put position, and seeks there before every read and write.
class IostreamTransferStream : public TransferStream {
 public:
  explicit IostreamTransferStream(std::iostream& stream);
  int64_t position() override { return position_; }
  void seek(int64_t position) override { position_ = position; }
  int64_t size() override;
  int32_t read(char* buffer, int32_t count) override;
  int32_t write(const char* buffer, int32_t count) override;

 private:
  std::iostream& stream_;
  int64_t position_;
};

class TTGPuttySFTP {
 public:
  using TOnMessage = std::function<void(const std::string& Msg, bool isstderr)>;
  using TOnCheckpoint = std::function<void(const std::string& Msg, uint8_t kind)>;
  // False cancels.
  using TOnProgress = std::function<bool(int64_t bytescopied, bool isupload)>;
  // The entries are valid only during the call.
  using TOnListing = std::function<bool(const fxp_names* names)>;
  // Set cancel (false on entry) to give up.
  using TOnGetInput = std::function<std::string(bool& cancel)>;
  // True accepts the host key; storehostkey true keeps it in the library's store.
  using TOnVerifyHostKey =
      std::function<bool(const char* host, int32_t port, const char* fingerprint,
                         int32_t verificationstatus, bool& storehostkey)>;
  // Called while the library waits for the server, at least every 50 ms; it
  // must not use the session.
  using TOnWait = std::function<void()>;

  // One file of a batch, and what became of it.
  struct BatchItem {
    std::string remote;
    std::string local;  // DownloadFiles only
    uint64_t maxSize = UINT64_MAX;
  };
  struct BatchResult {
    int32_t result = TG_BATCH_NOTSTARTED;  // TG_BATCH_*
    fxp_attrs attrs{};                     // FSTAT (DownloadFiles) or LSTAT
    uint64_t bytes = 0;
    int32_t errorCode = TG_ERRTYPE_NONE;  // SFTP status of the failure, negative if none
    int32_t errorKind = TG_ERRKIND_NONE;  // TG_ERRKIND_*
    std::string error;                    // the failure, worded as MakePSFTPErrorMsg does
  };
  // Each item in the order given; false stops the batch (see tgsftp_getfiles).
  using TOnBatchDone = std::function<bool(size_t index, const BatchResult& result)>;
  // DeleteFiles: true removes the file whose LSTAT this is.
  using TOnBatchCheck = std::function<bool(size_t index, const fxp_attrs& attrs)>;

  // Checks the library (record sizes, build at least 8, context size), starts
  // its context and reads its configuration names. Raises on any failure,
  // after releasing a context already started. The object must stay where it
  // is (the library finds it through the context's Tag): no copy, no move.
  explicit TTGPuttySFTP(bool verbose, const TGPuttyLibrary& lib = realLibrary());
  ~TTGPuttySFTP();
  TTGPuttySFTP(const TTGPuttySFTP&) = delete;
  TTGPuttySFTP& operator=(const TTGPuttySFTP&) = delete;

  // Events.
  TOnMessage OnMessage;
  TOnCheckpoint OnCheckpoint;
  TOnProgress OnProgress;
  TOnListing OnListing;
  TOnGetInput OnGetInput;
  TOnVerifyHostKey OnVerifyHostKey;
  TOnWait OnWait;

  // Properties.
  const std::string& HostName() const { return FHostName; }
  void setHostName(const std::string& value) { FHostName = value; }
  const std::string& UserName() const { return FUserName; }
  void setUserName(const std::string& value) { FUserName = value; }
  const std::string& Password() const { return FPassword; }
  void setPassword(const std::string& value) { FPassword = value; }
  const std::string& KeyPassword() const { return FKeyPassword; }
  void setKeyPassword(const std::string& value) { FKeyPassword = value; }
  int32_t Port() const { return FPort; }
  void setPort(int32_t value) { FPort = value; }
  std::string HomeDir() const;
  std::string WorkDir() const;
  std::string LibVersion() const;
  bool Connected() const { return FConnected; }
  bool Verbose() const { return FVerbose; }
  void setVerbose(bool value);
  bool Checkpoints() const { return FCheckpoints; }
  void setCheckpoints(bool value);
  void setKeyfile(const std::string& value);
  const std::string& LastMessages() const { return FLastMessages; }
  void setLastMessages(const std::string& value) { FLastMessages = value; }
  int32_t ErrorCode() const { return Fcontext.fxp_errtype; }
  // TG_ERRKIND_* of the last operation's failure.
  int32_t ErrorKind();
  std::string ErrorMessage() const;
  int32_t TimeoutTicks() const { return Fcontext.timeoutticks; }
  void setTimeoutTicks(int32_t value) { Fcontext.timeoutticks = value; }
  int32_t ConnectionTimeoutTicks() const { return Fcontext.connectiontimeoutticks; }
  void setConnectionTimeoutTicks(int32_t value) { Fcontext.connectiontimeoutticks = value; }
  bool Aborted() const { return Fcontext.aborted; }
  void setAborted(bool value) { Fcontext.aborted = value; }
  TProxyTypes ProxyType();
  void setProxyType(TProxyTypes value);
  std::string ProxyHost();
  void setProxyHost(const std::string& value);
  int32_t ProxyPort();
  void setProxyPort(int32_t value);
  std::string ProxyUserName();
  void setProxyUserName(const std::string& value);
  std::string ProxyPassword();
  void setProxyPassword(const std::string& value);
  int32_t ProgressIntervalMS() const { return FProgressIntervalMS; }
  void setProgressIntervalMS(int32_t value) { FProgressIntervalMS = value; }
  int64_t ProgressAfterBytes() const { return FProgressAfterBytes; }
  void setProgressAfterBytes(int64_t value) { FProgressAfterBytes = value; }

  // Operations used by the program.
  void Connect();
  void Disconnect();  // Only when connected; never raises.
  void ChangeDir(const std::string& ADirectory);
  void ListDir(const std::string& ADirectory);
  void DownloadFile(const std::string& ARemoteFilename, const std::string& ALocalFilename,
                    bool anAppend);
  void DeleteFile(const std::string& AName);

  // Many files of the current folder with many requests in flight: each is
  // reported to `done` once finished, in the order given. Raises only when
  // the connection fails, after every begun file was reported.
  void DownloadFiles(const std::vector<BatchItem>& items, const TOnBatchDone& done);
  void StatFiles(const std::vector<std::string>& names, const TOnBatchDone& done);
  void DeleteFiles(const std::vector<std::string>& names, const TOnBatchCheck& check,
                   const TOnBatchDone& done);

  // Further operations.
  void MakeDir(const std::string& ADirectory);
  void RemoveDir(const std::string& ADirectory);
  void Move(const std::string& AFromName, const std::string& AToName);
  void MoveEx(const std::string& AFromName, const std::string& AToName, int32_t MoveFlags);
  void GetStat(const std::string& AFileName, fxp_attrs& Attrs);
  void SetStat(const std::string& AFileName, const fxp_attrs& Attrs);
  // ATimestamp is a calendar date and time: local time (converted with the
  // process's time zone, mktime) unless isUTC. Before 1970 gives 0.
  void SetModifiedDate(const std::string& AFileName, const Zeitpunkt& ATimestamp, bool isUTC);
  void SetFileSize(const std::string& AFileName, int64_t ASize);
  void SetUnixMode(const std::string& AFileName, int32_t AMode);
  void UploadFile(const std::string& ALocalFilename, const std::string& ARemoteFilename,
                  bool anAppend);
  void UploadStream(const std::string& ARemoteFilename, TransferStream& AStream, bool anAppend);
  void DownloadStream(const std::string& ARemoteFilename, TransferStream& AStream, bool anAppend);
  // Block-wise download under the session's own stall time-out, progress and
  // cancelling. Writes from the stream's end with anAppend, else from its
  // position, and reads the remote file from that same offset.
  void DownloadStreamP(const std::string& ARemoteFilename, TransferStream& AStream, bool anAppend);

  // Low-level file and queued-transfer access; OpenFile answers null on failure.
  TGFileHandle* OpenFile(const std::string& apathname, int32_t anopenflags, const fxp_attrs* attrs);
  int32_t CloseFile(TGFileHandle*& fh);
  TGTransfer* xfer_download_init(TGFileHandle* fh, uint64_t offset);
  TGTransfer* xfer_upload_init(TGFileHandle* fh, uint64_t offset);
  bool xfer_download_preparequeue(TGTransfer* xfer);
  bool xfer_upload_ready(TGTransfer* xfer);
  bool xfer_done(TGTransfer* xfer);
  bool xfer_ensuredone(TGTransfer* xfer);
  // buffer is released by the caller with the library's tgputty_sfree.
  bool xfer_download_data(TGTransfer* xfer, void*& buffer, int32_t& len);
  void xfer_upload_data(TGTransfer* xfer, const char* buffer, int32_t len, uint64_t anoffset);
  void xfer_set_error(TGTransfer* xfer);
  void xfer_cleanup(TGTransfer* xfer);

  // Library configuration, by name (letter case ignored).
  void SetBooleanConfigValue(const std::string& OptionName, bool value);
  void SetIntegerConfigValue(const std::string& OptionName, int32_t value);
  void SetStringConfigValue(const std::string& OptionName, const std::string& value);
  int32_t GetPuttyConfIndex(const std::string& name) const;

  std::string MakePSFTPErrorMsg(const std::string& where) const;

 private:
  // Callbacks installed in the context; the session is found through Tag.
  static bool lsCallback(const fxp_names* names, TTGLibraryContext* ctx);
  static const char* getpasswordCallback(const char* prompt, bool echo, bool* cancel,
                                         TTGLibraryContext* ctx);
  static void printmessageCallback(const char* msg, uint8_t kind, TTGLibraryContext* ctx);
  static bool progressCallback(int64_t bytescopied, bool isupload, TTGLibraryContext* ctx);
  static int32_t readFromStream(uint64_t offset, char* buffer, int32_t bufsize,
                                TTGLibraryContext* ctx);
  static int32_t writeToStream(uint64_t offset, const char* buffer, int32_t len,
                               TTGLibraryContext* ctx);
  static bool getInputCallback(char* linebuf, int32_t maxlen, TTGLibraryContext* ctx);
  static bool verifyHostKeyCallback(const char* host, int32_t port, const char* keytype,
                                    const char* keystr, const char* fingerprint,
                                    int32_t verificationstatus, bool* storehostkey,
                                    TTGLibraryContext* ctx);
  static void raiseExceptionCallback(const char* msg, const char* srcfile, int32_t line);
  static void waitCallback(TTGLibraryContext* ctx);
  static bool batchDoneCallback(int32_t index, tg_batch_entry* entry, TTGLibraryContext* ctx);
  static bool batchCheckCallback(int32_t index, tg_batch_entry* entry, TTGLibraryContext* ctx);

  // One batch call of the library over `entries`, with the callbacks in place.
  template <class Call>
  void RunBatch(const char* where, std::vector<tg_batch_entry>& entries, const TOnBatchDone& done,
                const TOnBatchCheck* check, Call call);

  struct DownloadState;
  // DownloadStreamP's steps: one block into the stream (true when whole), a
  // progress report when one is due, the stall watch after a pass.
  bool WriteBlock(DownloadState& st, TransferStream& stream, const char* data, int32_t len);
  void ReportDownloadProgress(DownloadState& st);
  bool StalledTooLong(DownloadState& st, int64_t totalBefore);

  void CheckStructSizes();
  void BuildConfNameIndex();
  void ReportCheckpoint(const char* name);
  void PrintMessage(const std::string& msg, uint8_t kind);
  // Empties FLastMessages and resets fxp_errtype before a checked operation.
  void BeginOperation();
  [[noreturn]] void RaiseError(const char* where) const;
  void CheckOne(int32_t result, const char* where) const;

  TTGLibraryContext Fcontext;
  bool FVerbose;
  bool FCheckpoints = false;
  std::string FHostName, FUserName, FPassword, FKeyPassword;
  int32_t FPort = 0;
  TransferStream* FUploadStream = nullptr;
  TransferStream* FDownloadStream = nullptr;
  // The running batch's handlers and the name its failures carry.
  const TOnBatchDone* FBatchDone = nullptr;
  const TOnBatchCheck* FBatchCheck = nullptr;
  const char* FBatchWhere = "";
  bool FConnected = false;
  int32_t FPasswordAttempts = 0;
  std::string FLastMessages;
  const char* const* FConfNames = nullptr;
  const int32_t* FConfTypes = nullptr;
  const int32_t* FConfSubTypes = nullptr;
  int32_t FConfCount = 0;
  int32_t FProgressIntervalMS = 1000;
  int64_t FProgressAfterBytes = 0;
  int32_t tgputtylibbuild = 0;
  TGPuttyLibrary FLib;
};

}  // namespace belvanto
