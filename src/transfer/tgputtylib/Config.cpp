// The configuration table. Types and subtypes use the codes documented in
// tgputtylib.h (TG_CONF_TYPE_* and TG_CONF_SUB_*).
#include "Config.h"

#include <array>
#include <cstdlib>

#include "tgputtylib.h"

namespace belvanto::tglib {

namespace {

struct Entry {
  Conf id;
  const char* name;
  int32_t type;
  int32_t subtype;
  int32_t defInt;
  const char* defStr;
};

constexpr int32_t I = TG_CONF_TYPE_INT;
constexpr int32_t S = TG_CONF_TYPE_STRING;
constexpr int32_t B = TG_CONF_TYPE_BOOL;

constexpr Entry kTable[] = {
    {Conf::ProxyType, "proxy_type", I, TG_CONF_SUB_ENUM, PROXY_NONE, ""},
    {Conf::ProxyHost, "proxy_host", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::ProxyPort, "proxy_port", I, TG_CONF_SUB_PORT, 0, ""},
    {Conf::ProxyUsername, "proxy_username", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::ProxyPassword, "proxy_password", S, TG_CONF_SUB_SECRET, 0, ""},
    {Conf::ProxyExcludeList, "proxy_exclude_list", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::ProxyDns, "proxy_dns", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::ProxyLocalhost, "proxy_localhost", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::ProxyHttpUserAgent, "proxy_http_user_agent", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::Port, "port", I, TG_CONF_SUB_PORT, 22, ""},
    {Conf::Username, "username", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::AddressFamily, "address_family", I, TG_CONF_SUB_ENUM, 0, ""},
    {Conf::BindAddress, "bind_address", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::ConnectAllAddresses, "connect_all_addresses", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::ConnectRetries, "connect_retries", I, TG_CONF_SUB_COUNT, 0, ""},
    {Conf::ConnectRetryDelayMs, "connect_retry_delay_ms", I, TG_CONF_SUB_MS, 1000, ""},
    {Conf::TcpNodelay, "tcp_nodelay", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::TcpKeepalives, "tcp_keepalives", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::TcpKeepaliveIdle, "tcp_keepalive_idle", I, TG_CONF_SUB_SECONDS, 0, ""},
    {Conf::TcpKeepaliveInterval, "tcp_keepalive_interval", I, TG_CONF_SUB_SECONDS, 0, ""},
    {Conf::TcpKeepaliveCount, "tcp_keepalive_count", I, TG_CONF_SUB_COUNT, 0, ""},
    {Conf::TcpUserTimeoutMs, "tcp_user_timeout_ms", I, TG_CONF_SUB_MS, 0, ""},
    {Conf::TcpSndbuf, "tcp_sndbuf", I, TG_CONF_SUB_BYTES, 0, ""},
    {Conf::TcpRcvbuf, "tcp_rcvbuf", I, TG_CONF_SUB_BYTES, 0, ""},
    {Conf::IpTos, "ip_tos", I, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::Ciphers, "ciphers", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::CiphersC2s, "ciphers_c2s", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::CiphersS2c, "ciphers_s2c", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::Macs, "macs", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::MacsC2s, "macs_c2s", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::MacsS2c, "macs_s2c", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::Kex, "kex", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::HostkeyAlgorithms, "hostkey_algorithms", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::PubkeyAlgorithms, "pubkey_algorithms", S, TG_CONF_SUB_LIST, 0, ""},
    {Conf::Compression, "compression", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::CompressionLevel, "compression_level", I, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::RekeyData, "rekey_data", I, TG_CONF_SUB_BYTES, 0, ""},
    {Conf::RekeyTime, "rekey_time", I, TG_CONF_SUB_SECONDS, 0, ""},
    {Conf::RsaMinSize, "rsa_min_size", I, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::SshLogLevel, "ssh_log_level", I, TG_CONF_SUB_ENUM, 0, ""},
    {Conf::KnownHostsFile, "known_hosts_file", S, TG_CONF_SUB_PATH, 0, ""},
    {Conf::GlobalKnownHostsFile, "global_known_hosts_file", S, TG_CONF_SUB_PATH, 0, ""},
    {Conf::HostKeyAlias, "host_key_alias", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::HostkeyAskKnown, "hostkey_ask_known", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::Keyfile, "keyfile", S, TG_CONF_SUB_PATH, 0, ""},
    {Conf::KeyPassphrase, "key_passphrase", S, TG_CONF_SUB_SECRET, 0, ""},
    {Conf::AuthPublickey, "auth_publickey", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::AuthKbdint, "auth_kbdint", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::AuthPassword, "auth_password", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::AuthAgent, "auth_agent", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::AgentSocket, "agent_socket", S, TG_CONF_SUB_PATH, 0, ""},
    {Conf::AuthGssapi, "auth_gssapi", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::GssapiDelegateCredentials, "gssapi_delegate_credentials", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::GssapiServerIdentity, "gssapi_server_identity", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::GssapiClientIdentity, "gssapi_client_identity", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::AuthMaxPrompts, "auth_max_prompts", I, TG_CONF_SUB_COUNT, 6, ""},
    {Conf::ShowBanner, "show_banner", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::HostMayContainUser, "host_may_contain_user", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::InitialDir, "initial_dir", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::SftpSubsystem, "sftp_subsystem", S, TG_CONF_SUB_PLAIN, 0, "sftp"},
    {Conf::SftpServerCommand, "sftp_server_command", S, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::SftpReadBlock, "sftp_read_block", I, TG_CONF_SUB_BYTES, 32768, ""},
    {Conf::SftpWriteBlock, "sftp_write_block", I, TG_CONF_SUB_BYTES, 32768, ""},
    {Conf::SftpReadsInFlight, "sftp_reads_in_flight", I, TG_CONF_SUB_COUNT, 32, ""},
    {Conf::SftpWritesInFlight, "sftp_writes_in_flight", I, TG_CONF_SUB_COUNT, 32, ""},
    {Conf::SftpUseLimits, "sftp_use_limits", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::SftpMaxPacket, "sftp_max_packet", I, TG_CONF_SUB_BYTES, 1048576, ""},
    {Conf::SftpPosixRename, "sftp_posix_rename", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::SftpRemoteFsync, "sftp_remote_fsync", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::LocalFsync, "local_fsync", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::DownloadAtomic, "download_atomic", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::DownloadPreserveTimes, "download_preserve_times", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::DownloadPreservePermissions, "download_preserve_permissions", B, TG_CONF_SUB_PLAIN, 0,
     ""},
    {Conf::UploadPreserveTimes, "upload_preserve_times", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::UploadPreservePermissions, "upload_preserve_permissions", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::NewDirPermissions, "new_dir_permissions", I, TG_CONF_SUB_PERMISSIONS, -1, ""},
    {Conf::NewFilePermissions, "new_file_permissions", I, TG_CONF_SUB_PERMISSIONS, -1, ""},
    {Conf::ProgressIntervalMs, "progress_interval_ms", I, TG_CONF_SUB_MS, 0, ""},
    {Conf::XferWaitMs, "xfer_wait_ms", I, TG_CONF_SUB_MS, 200, ""},
    {Conf::LsSort, "ls_sort", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::LsSkipDots, "ls_skip_dots", B, TG_CONF_SUB_PLAIN, 0, ""},
    {Conf::CdCheckDir, "cd_check_dir", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::GetstatFollowSymlinks, "getstat_follow_symlinks", B, TG_CONF_SUB_PLAIN, 1, ""},
    {Conf::LogFile, "log_file", S, TG_CONF_SUB_PATH, 0, ""},
    {Conf::LogTimestamps, "log_timestamps", B, TG_CONF_SUB_PLAIN, 0, ""},
};

static_assert(std::size(kTable) == static_cast<size_t>(Conf::Count));
static_assert(kConfCount == TG_CONF_COUNT);

constexpr bool tableInOrder() {
  for (size_t i = 0; i < std::size(kTable); ++i) {
    if (static_cast<size_t>(kTable[i].id) != i) return false;
  }
  return true;
}
static_assert(tableInOrder(), "configuration table out of order");

template <typename T, typename F>
constexpr std::array<T, std::size(kTable)> column(F f) {
  std::array<T, std::size(kTable)> a{};
  for (size_t i = 0; i < std::size(kTable); ++i) a[i] = f(kTable[i]);
  return a;
}

constexpr auto kTypes = column<int32_t>([](const Entry& e) { return e.type; });
constexpr auto kSubtypes = column<int32_t>([](const Entry& e) { return e.subtype; });
constexpr auto kNames = column<const char*>([](const Entry& e) { return e.name; });

}  // namespace

const int32_t* confTypes() {
  return kTypes.data();
}
const int32_t* confSubtypes() {
  return kSubtypes.data();
}
const char* const* confNames() {
  return kNames.data();
}

ConfigValues::ConfigValues() : ints_(std::size(kTable)), strs_(std::size(kTable)) {
  for (size_t i = 0; i < std::size(kTable); ++i) {
    ints_[i] = kTable[i].defInt;
    strs_[i] = kTable[i].type == S ? kTable[i].defStr : std::to_string(kTable[i].defInt);
  }
}

int32_t ConfigValues::getIntAt(int32_t index) const {
  if (!valid(index)) return 0;
  if (kTable[index].type == S) return static_cast<int32_t>(std::atol(strs_[index].c_str()));
  return ints_[index];
}

const char* ConfigValues::getStrAt(int32_t index) const {
  if (!valid(index)) return "";
  return strs_[index].c_str();
}

void ConfigValues::setIntAt(int32_t index, int32_t value) {
  if (!valid(index)) return;
  if (kTable[index].type == B) value = value != 0;
  ints_[index] = value;
  if (kTable[index].type != S) strs_[index] = std::to_string(value);
}

void ConfigValues::setStrAt(int32_t index, const char* value) {
  if (!valid(index)) return;
  strs_[index] = value ? value : "";
  // Numeric settings given as text take the number; a bool takes anything non-zero.
  if (kTable[index].type != S) {
    int32_t v = static_cast<int32_t>(std::atol(strs_[index].c_str()));
    if (kTable[index].type == B) {
      const std::string& s = strs_[index];
      v = (s == "true" || s == "yes" || s == "on" || v != 0) ? 1 : 0;
    }
    ints_[index] = v;
  }
}

}  // namespace belvanto::tglib
