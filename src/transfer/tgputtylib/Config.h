// The library's configuration settings: the fixed table of names, types and
// defaults (documented in tgputtylib.h) and one context's current values.
// Most are only stored (see tgputtylib.h): the library reads just the few it
// implements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace belvanto::tglib {

// Indexes into the configuration table; the order is part of the interface.
enum class Conf : int32_t {
  ProxyType,
  ProxyHost,
  ProxyPort,
  ProxyUsername,
  ProxyPassword,
  ProxyExcludeList,
  ProxyDns,
  ProxyLocalhost,
  ProxyHttpUserAgent,
  Port,
  Username,
  AddressFamily,
  BindAddress,
  ConnectAllAddresses,
  ConnectRetries,
  ConnectRetryDelayMs,
  TcpNodelay,
  TcpKeepalives,
  TcpKeepaliveIdle,
  TcpKeepaliveInterval,
  TcpKeepaliveCount,
  TcpUserTimeoutMs,
  TcpSndbuf,
  TcpRcvbuf,
  IpTos,
  Ciphers,
  CiphersC2s,
  CiphersS2c,
  Macs,
  MacsC2s,
  MacsS2c,
  Kex,
  HostkeyAlgorithms,
  PubkeyAlgorithms,
  Compression,
  CompressionLevel,
  RekeyData,
  RekeyTime,
  RsaMinSize,
  SshLogLevel,
  KnownHostsFile,
  GlobalKnownHostsFile,
  HostKeyAlias,
  HostkeyAskKnown,
  Keyfile,
  KeyPassphrase,
  AuthPublickey,
  AuthKbdint,
  AuthPassword,
  AuthAgent,
  AgentSocket,
  AuthGssapi,
  GssapiDelegateCredentials,
  GssapiServerIdentity,
  GssapiClientIdentity,
  AuthMaxPrompts,
  ShowBanner,
  HostMayContainUser,
  InitialDir,
  SftpSubsystem,
  SftpServerCommand,
  SftpReadBlock,
  SftpWriteBlock,
  SftpReadsInFlight,
  SftpWritesInFlight,
  SftpUseLimits,
  SftpMaxPacket,
  SftpPosixRename,
  SftpRemoteFsync,
  LocalFsync,
  DownloadAtomic,
  DownloadPreserveTimes,
  DownloadPreservePermissions,
  UploadPreserveTimes,
  UploadPreservePermissions,
  NewDirPermissions,
  NewFilePermissions,
  ProgressIntervalMs,
  XferWaitMs,
  LsSort,
  LsSkipDots,
  CdCheckDir,
  GetstatFollowSymlinks,
  LogFile,
  LogTimestamps,
  Count
};

inline constexpr int32_t kConfCount = static_cast<int32_t>(Conf::Count);

// The process-wide arrays handed out by tgputty_getconfigarrays.
const int32_t* confTypes();
const int32_t* confSubtypes();
const char* const* confNames();

class ConfigValues {
 public:
  ConfigValues();

  int32_t getInt(Conf c) const { return ints_[idx(c)]; }
  bool getBool(Conf c) const { return ints_[idx(c)] != 0; }
  const std::string& getStr(Conf c) const { return strs_[idx(c)]; }

  // Index-based access of the C interface; false for an index out of range.
  bool valid(int32_t index) const { return index >= 0 && index < kConfCount; }
  int32_t getIntAt(int32_t index) const;
  const char* getStrAt(int32_t index) const;
  void setIntAt(int32_t index, int32_t value);
  void setStrAt(int32_t index, const char* value);

  void set(Conf c, std::string value) { strs_[idx(c)] = std::move(value); }

 private:
  static size_t idx(Conf c) { return static_cast<size_t>(c); }
  std::vector<int32_t> ints_;
  std::vector<std::string> strs_;
};

}  // namespace belvanto::tglib
