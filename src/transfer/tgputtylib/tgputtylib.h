/* The SFTP client library's C interface: the records exchanged with its caller,
 * the library context the caller embeds, the callbacks it calls back through,
 * and the functions it exports.
 *
 * On a 32-bit target the records have exactly the sizes and offsets of the
 * binary interface (fxp_attrs 40, fxp_name 48, fxp_names 8, context 400 bytes);
 * on a 64-bit target the same fields come in the same order with the
 * platform's natural alignment, and the context's reserved area is shortened
 * so that the whole context is still 400 bytes. 64-bit fields are aligned to
 * 8 on every target, as the interface has them at offsets divisible by 8.
 *
 * Booleans are one byte (C's bool). Texts are zero-terminated 8-bit strings:
 * names coming from the server are passed on as the server sent them.
 */
#ifndef TGPUTTYLIB_H
#define TGPUTTYLIB_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TG_EXPORT __attribute__((visibility("default")))
#define TG_ALIGN8 __attribute__((aligned(8)))
#else
#define TG_EXPORT
#define TG_ALIGN8
#endif

/* Valid fields of fxp_attrs. */
#define SSH_FILEXFER_ATTR_SIZE 0x00000001u
#define SSH_FILEXFER_ATTR_UIDGID 0x00000002u
#define SSH_FILEXFER_ATTR_PERMISSIONS 0x00000004u
#define SSH_FILEXFER_ATTR_ACMODTIME 0x00000008u

/* Open flags of tgputty_openfile (those of the SFTP protocol, version 3). */
#define SSH_FXF_READ 0x00000001
#define SSH_FXF_WRITE 0x00000002
#define SSH_FXF_APPEND 0x00000004
#define SSH_FXF_CREAT 0x00000008
#define SSH_FXF_TRUNC 0x00000010
#define SSH_FXF_EXCL 0x00000020

/* Flags of tgsftp_mvex (those of the SFTP rename request, version 5 and up). */
#define TG_RENAME_OVERWRITE 0x00000001
#define TG_RENAME_ATOMIC 0x00000002
#define TG_RENAME_NATIVE 0x00000004

/* Verification status handed to verify_host_key_callback, from the library's
 * own known-hosts store (see the configuration name "known_hosts_file"). */
#define TG_HOSTKEY_KNOWN 0   /* the stored key for this host and port */
#define TG_HOSTKEY_UNKNOWN 1 /* no key stored for this host and port */
#define TG_HOSTKEY_CHANGED 2 /* a different key is stored: possible attack */

/* fxp_errtype before an operation and when no SFTP status is known. */
#define TG_ERRTYPE_NONE (-1000)

/* What kind of failure the last call reported (tgputty_geterrorkind). */
#define TG_ERRKIND_NONE 0       /* the call did not fail */
#define TG_ERRKIND_STATUS 1     /* the server answered with an SFTP status (fxp_errtype) */
#define TG_ERRKIND_CONNECTION 2 /* no connection, or the connection broke */
#define TG_ERRKIND_TIMEOUT 3    /* the server sent too little for too long (timeoutticks) */
#define TG_ERRKIND_LOCAL 4      /* a local file could not be read or written */
#define TG_ERRKIND_TOOLARGE 5   /* the server sent more than allowed: a file beyond its bound,
                                   a listing beyond the listing limits */
#define TG_ERRKIND_PROTOCOL 6   /* the server's answer was malformed or unexpected */
#define TG_ERRKIND_HOSTKEY 7    /* the host key was refused or the known-hosts store is unusable */
#define TG_ERRKIND_OTHER 8      /* anything else (login refused, cancelled, bad arguments) */

/* Results of one entry of a batch (tg_batch_entry.result). */
#define TG_BATCH_NOTSTARTED (-1) /* the batch ended before this entry was begun */
#define TG_BATCH_FAILED 0        /* failed at its first step (open or lstat) */
#define TG_BATCH_DONE 1          /* fetched whole / attributes read / removed */
#define TG_BATCH_KEPT 2          /* tgsftp_rmfiles: the check answered false, nothing removed */
#define TG_BATCH_FAILED_LATER 3  /* tgsftp_rmfiles: lstat done, the remove failed or went
                                    unanswered (then the file may or may not be gone) */

/* Limits of one listing: more entries, or more memory for them, fail it. */
#define TG_LIST_MAX_ENTRIES 500000
#define TG_LIST_MAX_BYTES (200 * 1024 * 1024)

/* Kinds of printmessage_callback. */
#define TG_MSG_OUT 0        /* ordinary message */
#define TG_MSG_ERR 1        /* error output */
#define TG_MSG_CHECKPOINT 2 /* checkpoint name (only when checkpoints are on) */

/* clang-format off */
/* Configuration settings (tgputty_getconfigarrays, tgputty_conf_*).
 *
 * Each context has its own values, all at their defaults after
 * tgputty_initcontext; a setting takes effect at the next tgsftp_connect
 * (local_fsync at the next download). The arrays list the settings in this
 * order; types[i] is one of TG_CONF_TYPE_*, and subtypes[i] one of
 * TG_CONF_SUB_* saying what the value means. A text setting read with
 * tgputty_conf_get_int gives its number; a number or bool read with
 * tgputty_conf_get_str gives its decimal text; tgputty_conf_get_str's text
 * stays valid until the setting changes. Lists are comma-separated.
 *
 * Stored only: all 85 settings can be set and read back, but only nine of
 * them change what the library does: proxy_type, proxy_host, proxy_port,
 * proxy_username, proxy_password (0-4), known_hosts_file (40), keyfile (44),
 * sftp_read_block (61) and local_fsync (69). Every other one (5-39, 41-43,
 * 45-60, 62-68, 70-84) is stored but has no effect: the library always works
 * as with that setting's default, whatever value it holds.
 *
 *  #  name                          type    default  meaning
 *  0  proxy_type                    int     0        enum TProxyTypes; PROXY_SOCKS5 (RFC 1928, user/
 *                                                     password auth of RFC 1929 when proxy_username is
 *                                                     set) and PROXY_HTTP (CONNECT, Basic auth when
 *                                                     proxy_username is set); the others make
 *                                                     tgsftp_connect fail
 *  1  proxy_host                    string  ""       proxy host name or address
 *  2  proxy_port                    int     0        proxy port; 0: 1080 for SOCKS 5, 80 for HTTP
 *  3  proxy_username                string  ""       proxy user; empty: no proxy authentication
 *  4  proxy_password                string  ""       proxy password (never printed)
 *  5  proxy_exclude_list            string  ""       host patterns (* and ?) reached without the proxy
 *  6  proxy_dns                     bool    true     the proxy resolves host names (SOCKS 5); false:
 *                                                     resolved here and sent as an address
 *  7  proxy_localhost               bool    true     loopback hosts also go through the proxy
 *  8  proxy_http_user_agent         string  ""       User-Agent header of the CONNECT request
 *  9  port                          int     22       SSH port when neither host nor port gives one
 * 10  username                      string  ""       user when tgsftp_connect gets none
 * 11  address_family                int     0        0 any, 1 IPv4 only, 2 IPv6 only
 * 12  bind_address                  string  ""       local address to connect from
 * 13  connect_all_addresses         bool    true     try every address of the host in turn
 * 14  connect_retries               int     0        further TCP connection attempts after a failure
 * 15  connect_retry_delay_ms        int     1000     pause before each further attempt
 * 16  tcp_nodelay                   bool    true     TCP_NODELAY
 * 17  tcp_keepalives                bool    false    SO_KEEPALIVE
 * 18  tcp_keepalive_idle            int     0        TCP_KEEPIDLE seconds (0: system default)
 * 19  tcp_keepalive_interval        int     0        TCP_KEEPINTVL seconds (0: system default)
 * 20  tcp_keepalive_count           int     0        TCP_KEEPCNT (0: system default)
 * 21  tcp_user_timeout_ms           int     0        TCP_USER_TIMEOUT (0: system default)
 * 22  tcp_sndbuf                    int     0        SO_SNDBUF bytes (0: system default)
 * 23  tcp_rcvbuf                    int     0        SO_RCVBUF bytes (0: system default)
 * 24  ip_tos                        int     0        IP_TOS / IPV6_TCLASS (0: unchanged)
 * 25  ciphers                       string  ""       cipher list, both directions ("": libssh's)
 * 26  ciphers_c2s                   string  ""       cipher list client to server (after ciphers)
 * 27  ciphers_s2c                   string  ""       cipher list server to client (after ciphers)
 * 28  macs                          string  ""       MAC list, both directions
 * 29  macs_c2s                      string  ""       MAC list client to server (after macs)
 * 30  macs_s2c                      string  ""       MAC list server to client (after macs)
 * 31  kex                           string  ""       key exchange methods
 * 32  hostkey_algorithms            string  ""       accepted host key algorithms
 * 33  pubkey_algorithms             string  ""       public key algorithms for key logins
 * 34  compression                   bool    false    zlib compression
 * 35  compression_level             int     0        1..9 (0: libssh's default)
 * 36  rekey_data                    int     0        re-key after this many bytes (0: default)
 * 37  rekey_time                    int     0        re-key after this many seconds (0: never)
 * 38  rsa_min_size                  int     0        smallest RSA key accepted, bits (0: default)
 * 39  ssh_log_level                 int     0        libssh's log (0 none .. 4 functions); its
 *                                                     lines come as messages of kind 0
 * 40  known_hosts_file              string  ""       the library's host key store, read and written
 *                                                     in OpenSSH's format; "": nothing is read or
 *                                                     stored and every key is UNKNOWN. The user's
 *                                                     ~/.ssh is never used
 * 41  global_known_hosts_file       string  ""       a further store, only read
 * 42  host_key_alias                string  ""       name under which the host key is looked up and
 *                                                     stored instead of the host name
 * 43  hostkey_ask_known             bool    true     false: a KNOWN key is accepted without calling
 *                                                     verify_host_key_callback
 * 44  keyfile                       string  ""       private key file (OpenSSH or PEM format); the
 *                                                     same as tgputty_setkeyfile
 * 45  key_passphrase                string  ""       its passphrase; "": asked for through
 *                                                     getpassword_callback ("Passphrase for key ...")
 * 46  auth_publickey                bool    true     log in with keyfile when one is set
 * 47  auth_kbdint                   bool    true     keyboard-interactive login
 * 48  auth_password                 bool    true     password login
 * 49  auth_agent                    bool    false    log in with the keys of an SSH agent
 * 50  agent_socket                  string  ""       the agent's socket ("": SSH_AUTH_SOCK)
 * 51  auth_gssapi                   bool    false    GSSAPI (Kerberos) login
 * 52  gssapi_delegate_credentials   bool    false    delegate GSSAPI credentials
 * 53  gssapi_server_identity        string  ""       GSSAPI server identity
 * 54  gssapi_client_identity        string  ""       GSSAPI client identity
 * 55  auth_max_prompts              int     6        most secrets asked for in one tgsftp_connect
 *                                                     (0: no limit; the caller's cancel ends it too)
 * 56  show_banner                   bool    true     the server's login banner as a message
 * 57  host_may_contain_user         bool    true     accept "user@host" as the host text
 * 58  initial_dir                   string  ""       remote folder to change to after login
 * 59  sftp_subsystem                string  "sftp"   name of the SFTP subsystem
 * 60  sftp_server_command           string  ""       run this command instead of the subsystem
 * 61  sftp_read_block               int     32768    bytes per read request (1 KB..255 KB, and at
 *                                                     most what the server announces; more than
 *                                                     32 KB only from a server that announces
 *                                                     its limits)
 * 62  sftp_write_block              int     32768    bytes per write request (likewise)
 * 63  sftp_reads_in_flight          int     32       read requests kept in flight (1..256)
 * 64  sftp_writes_in_flight         int     32       write requests kept in flight (1..256)
 * 65  sftp_use_limits               bool    true     ask the server for its limits (limits@openssh.com)
 * 66  sftp_max_packet               int     1048576  largest SFTP packet accepted from the server
 * 67  sftp_posix_rename             bool    true     tgsftp_mvex uses posix-rename@openssh.com
 * 68  sftp_remote_fsync             bool    false    uploads end with fsync@openssh.com
 * 69  local_fsync                   bool    true     downloaded files are flushed to disk before
 *                                                     they replace the target
 * 70  download_atomic               bool    true     download to a temporary file and rename it;
 *                                                     false: write the target directly (it is
 *                                                     still removed on failure)
 * 71  download_preserve_times       bool    false    downloaded files get the remote times
 * 72  download_preserve_permissions bool    false    downloaded files get the remote mode bits
 *                                                     (else they are readable by the user alone)
 * 73  upload_preserve_times         bool    false    uploaded files get the local times
 * 74  upload_preserve_permissions   bool    false    uploaded files get the local mode bits
 * 75  new_dir_permissions           int     -1       mode of folders made by tgsftp_mkdir (-1: the
 *                                                     server's default)
 * 76  new_file_permissions          int     -1       mode of files created by uploads and
 *                                                     tgputty_openfile without attributes
 * 77  progress_interval_ms          int     0        least time between progress_callback calls
 *                                                     (0: after every block)
 * 78  xfer_wait_ms                  int     200      longest wait of tgputty_xfer_download_data and
 *                                                     tgputty_xfer_upload_ready for an answer
 * 79  ls_sort                       bool    false    listing sorted by name (byte order)
 * 80  ls_skip_dots                  bool    false    listing without "." and ".."
 * 81  cd_check_dir                  bool    true     tgsftp_cd checks that the target is a folder
 * 82  getstat_follow_symlinks       bool    true     false: tgsftp_getstat describes a link itself
 * 83  log_file                      string  ""       every message (verbose ones too, whatever the
 *                                                     verbosity) is also appended to this file
 * 84  log_timestamps                bool    false    log file lines start with date and time
 */
#define TG_CONF_COUNT 85

#define TG_CONF_TYPE_INT 0
#define TG_CONF_TYPE_STRING 1
#define TG_CONF_TYPE_BOOL 2

#define TG_CONF_SUB_PLAIN 0
#define TG_CONF_SUB_PORT 1        /* TCP port */
#define TG_CONF_SUB_MS 2          /* milliseconds */
#define TG_CONF_SUB_SECONDS 3     /* seconds */
#define TG_CONF_SUB_BYTES 4       /* bytes */
#define TG_CONF_SUB_COUNT 5       /* a number of times or things */
#define TG_CONF_SUB_ENUM 6        /* one of the values listed above */
#define TG_CONF_SUB_PATH 7        /* local file path */
#define TG_CONF_SUB_SECRET 8      /* never printed */
#define TG_CONF_SUB_LIST 9        /* comma-separated list */
#define TG_CONF_SUB_PERMISSIONS 10 /* Unix mode bits, -1 for none */
/* clang-format on */

/* Proxy types of the configuration setting "proxy_type". */
enum TProxyTypes {
  PROXY_NONE,
  PROXY_SOCKS4,
  PROXY_SOCKS5,
  PROXY_HTTP,
  PROXY_TELNET,
  PROXY_CMD,
  PROXY_FUZZ
};

struct fxp_attrs {
  uint32_t flags;
  uint64_t size TG_ALIGN8;
  uint32_t uid;
  uint32_t gid;
  uint32_t permissions;
  uint32_t atime;
  uint32_t mtime;
} TG_ALIGN8;

struct fxp_name {
  char *filename; /* the bare name */
  char *longname; /* the server's long listing line */
  struct fxp_attrs attrs;
};

struct fxp_names {
  int32_t nnames;
  struct fxp_name *names;
};

/* Opaque handles of the low-level file and queued-transfer access. */
struct TGFileHandle;
struct TGTransfer;

typedef struct TTGLibraryContext TTGLibraryContext;

typedef bool (*tg_ls_callback)(const struct fxp_names *names, TTGLibraryContext *ctx);
/* Answers the password (or passphrase, or keyboard-interactive prompt) for
 * `prompt`; null or *cancel true gives up. `echo` says whether the answer may
 * be shown. The answer is copied before the next callback. */
typedef const char *(*tg_getpassword_callback)(const char *prompt, bool echo, bool *cancel,
                                               TTGLibraryContext *ctx);
typedef void (*tg_printmessage_callback)(const char *msg, uint8_t kind, TTGLibraryContext *ctx);
/* False cancels the transfer. */
typedef bool (*tg_progress_callback)(int64_t bytescopied, bool isupload, TTGLibraryContext *ctx);
/* Returns the bytes read into buffer (0 at the end), or below 0 on failure. */
typedef int32_t (*tg_read_from_stream)(uint64_t offset, char *buffer, int32_t bufsize,
                                       TTGLibraryContext *ctx);
/* Returns the bytes written, 0 or below on failure. */
typedef int32_t (*tg_write_to_stream)(uint64_t offset, const char *buffer, int32_t len,
                                      TTGLibraryContext *ctx);
/* Fills linebuf (zero-terminated, at most maxlen bytes with the zero); false gives up. */
typedef bool (*tg_get_input_callback)(char *linebuf, int32_t maxlen, TTGLibraryContext *ctx);
/* True accepts the host key; *storehostkey true stores it in the known-hosts store. */
typedef bool (*tg_verify_host_key_callback)(const char *host, int32_t port, const char *keytype,
                                            const char *keystr, const char *fingerprint,
                                            int32_t verificationstatus, bool *storehostkey,
                                            TTGLibraryContext *ctx);
/* Called for an internal error of the library; does not return normally. */
typedef void (*tg_raise_exception_callback)(const char *msg, const char *srcfile, int32_t line);
typedef void (*tg_criticalsection_callback)(TTGLibraryContext *ctx);
/* Called while the library waits for the server (see tgputty_setwaitcallback). */
typedef void (*tg_wait_callback)(TTGLibraryContext *ctx);

/* One file of a batch over many files of the current remote folder. The
 * caller fills remote, local (tgsftp_getfiles) and maxsize; the library fills
 * the rest before the entry is reported. */
struct tg_batch_entry {
  const char *remote;      /* path, relative to the current remote folder */
  const char *local;       /* tgsftp_getfiles: the local file */
  uint64_t maxsize;        /* tgsftp_getfiles: most bytes the file may have; UINT64_MAX none */
  int32_t result;          /* TG_BATCH_* */
  int32_t fxp_errtype;     /* SFTP status of the entry's failure, negative if none */
  int32_t errorkind;       /* TG_ERRKIND_* of the entry's failure */
  struct fxp_attrs attrs;  /* FSTAT of the fetched file, or LSTAT (flags 0 when not read) */
  uint64_t bytes;          /* tgsftp_getfiles: bytes fetched */
};

/* Reports one entry, in the order of the entries; during the call
 * fxp_errtype and fxp_error_message describe the entry's failure. False asks
 * the batch to stop: no further entry is begun, those under way are finished
 * and reported (their answers are then not heeded). */
typedef bool (*tg_batch_callback)(int32_t index, struct tg_batch_entry *entry,
                                  TTGLibraryContext *ctx);

#if UINTPTR_MAX > 0xffffffffu
#define TG_CONTEXT_RESERVED 243
#else
#define TG_CONTEXT_RESERVED 303
#endif

struct TTGLibraryContext {
  int32_t structsize;
  uint64_t Tag TG_ALIGN8; /* the caller's own value; the library never reads it */
  tg_ls_callback ls_callback;
  tg_getpassword_callback getpassword_callback;
  tg_printmessage_callback printmessage_callback;
  tg_progress_callback progress_callback;
  tg_read_from_stream read_from_stream;
  tg_write_to_stream write_to_stream;
  tg_get_input_callback get_input_callback;
  tg_verify_host_key_callback verify_host_key_callback;
  tg_raise_exception_callback raise_exception_callback;
  tg_criticalsection_callback entercriticalsection_callback;
  tg_criticalsection_callback leavecriticalsection_callback;
  int32_t mode;
  int32_t modeflags;
  char *batchfile;
  char *pwd;               /* current remote folder, owned by the library */
  char *homedir;           /* remote home folder after login, owned by the library */
  char *fxp_error_message; /* text of the last SFTP error, owned by the library */
  int32_t fxp_errtype;     /* SFTP status of the last failure, negative if none */
  int32_t timeoutticks;           /* ms the server may send too little (see "Time limits") */
  int32_t connectiontimeoutticks; /* ms for the TCP connection and the SSH handshake */
  bool aborted;                   /* set by the caller to stop a running transfer */
  uint8_t reserved[TG_CONTEXT_RESERVED]; /* the library's own state lives behind these */
};

/* How the functions behave.
 *
 * Results and errors. The error fields change only when a call fails: then
 * fxp_error_message holds the reason (the server's text for an SFTP status,
 * else the library's own) and fxp_errtype the SFTP status code; without a
 * status (network, time-out, local file, refused login) fxp_errtype keeps what
 * the caller put there, normally TG_ERRTYPE_NONE. Every failure is also
 * printed with kind TG_MSG_ERR; verbose messages (kind TG_MSG_OUT) come only
 * while bit 0 of the verbosity is set, checkpoints only while bit 1 is set.
 * Verbosity is process-wide: tgputty_initcontext sets bit 0 from its argument,
 * tgputty_setverbose sets both. Every message text ends with CR LF; checkpoint
 * names come without. Passwords and passphrases never appear in a message.
 *
 * Callbacks are called on the caller's thread from within the library call
 * that needs them, never from inside a libssh call; any of them may throw a C++
 * exception, which passes through the library unchanged (what the call had
 * under way is released; a transfer's temporary file is removed, its remote
 * handle closed later). raise_exception_callback is called only for misuse or
 * a library-internal fault (a context that was never initialised, no memory).
 * entercriticalsection_callback and leavecriticalsection_callback, when set,
 * bracket every read and write of the known-hosts file. mode, modeflags,
 * batchfile and Tag are not used by the library.
 *
 * Waiting. Every wait for the server (TCP connection, proxy, SSH handshake,
 * login, every SFTP answer) is cut into slices of a few milliseconds; after
 * each, the wait callback set with tgputty_setwaitcallback is called once its
 * interval has passed since its last call, so that a caller with a window can
 * let the window's messages through. The callback must not call the library
 * with the same context. The DNS lookup (getaddrinfo) is the one wait that
 * cannot be cut.
 *
 * Time limits. The TCP connection and the SSH handshake share
 * connectiontimeoutticks. After that, while a call waits for the server, the
 * server must send something within timeoutticks; while it transfers data
 * (file downloads and uploads, listings) it must send at least 1024 bytes
 * within any timeoutticks, so that a server trickling a byte now and then
 * fails like one that sends nothing. Such a failure kills the connection
 * (TG_ERRKIND_TIMEOUT).
 *
 * tgsftp_connect: host "name", "name:port", "[v6addr]:port" or "v6addr" (and
 * "user@..." for each of them); a port in the host text wins over the port
 * argument; port 0 means 22. The time
 * limits are those of "Time limits" above. The host key goes to verify_host_key_callback with its type
 * ("ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...), the key as base64
 * (as in an OpenSSH public key line), its fingerprint as "SHA256:" and unpadded
 * base64 (as ssh-keygen -l prints it), the status from the known-hosts file
 * (TG_HOSTKEY_*), and the store flag; without that callback get_input_callback
 * is asked ("y" accepts and stores, "n" accepts once), and without either only
 * a KNOWN key is accepted. Every password and keyboard-interactive prompt (and
 * the key file's passphrase) goes to getpassword_callback, once per request;
 * after a refused password it is asked again until it cancels (or six
 * requests were made). The password argument is used only
 * when no getpassword_callback is set, for one attempt. On success pwd and
 * homedir hold the login folder; a new connect closes an earlier one.
 *
 * Paths. The library keeps the current remote folder (pwd); a relative path
 * is taken from it, null or "" means the folder itself. tgsftp_cd asks the
 * server for the canonical path and checks that it is a folder, both in one
 * round trip. Names from the server are handed on as the server sent them.
 *
 * tgsftp_ls: all entries of the folder, "." and ".." as the server sends them,
 * in one call of ls_callback (its answer is not used), before it returns 1.
 * More than TG_LIST_MAX_ENTRIES entries, or more than TG_LIST_MAX_BYTES for
 * them in memory, fail the listing (TG_ERRKIND_TOOLARGE).
 *
 * Known hosts. A known-hosts file that exists but cannot be read fails the
 * connection (TG_ERRKIND_HOSTKEY), as does a key the caller accepted with
 * storehostkey true that cannot be written to it: a store is never taken for
 * empty, nor a key for noted, when it is not.
 *
 * tgsftp_getfile with a local file: the data goes to a temporary file beside
 * it (".name.part-XXXXXX"), which replaces the target only when every byte up
 * to the remote end of file has arrived (at least the size the open file had,
 * a short answer is never taken for the end), been written, flushed to disk
 * and closed; on any failure it is removed. With append, an existing local
 * file is continued from its length (and cut back to it on failure); the
 * local file must not be longer than the remote one. With local null the data
 * goes to write_to_stream in order, offset = position in the remote file,
 * from 0 (append has no meaning there). tgsftp_putfile: the remote file is
 * created or truncated (with append: written from its current end); with
 * local null the data comes from read_from_stream, offset = position in the
 * stream from 0. Both call progress_callback with the bytes moved by this
 * call (false cancels, the call fails) and fail when the caller sets aborted
 * (the library never clears it).
 *
 * tgsftp_mvex: with TG_RENAME_OVERWRITE or TG_RENAME_NATIVE the rename is
 * posix-rename@openssh.com where the server offers it, which replaces an
 * existing target in one step. Without it, OVERWRITE with ATOMIC fails at once
 * and OVERWRITE alone is the plain rename, which fails on an existing target:
 * a target is never removed first, whatever the outcome.
 *
 * After a time-out or a broken connection the connection is dead: every later
 * call fails at once until tgsftp_connect.
 *
 * Batches. tgsftp_getfiles, tgsftp_statfiles and tgsftp_rmfiles work on many
 * files of one folder over the one channel with many requests in flight
 * across files: the next files are opened, several read and earlier ones
 * closed while answers are still on their way. Each entry is reported through
 * the callback once it is finished, strictly in the order of the entries.
 * getfiles fetches each file as tgsftp_getfile does (temporary file beside
 * the local one, renamed once whole and closed) and fails an entry that
 * delivers more than maxsize bytes, or more than the size FSTAT gave when
 * maxsize is UINT64_MAX (TG_ERRKIND_TOOLARGE). statfiles reads each entry's
 * LSTAT. rmfiles reads each LSTAT, asks check (in the order the answers come),
 * and removes the file where check answers true. A failed entry ends nothing:
 * the caller decides through its answer. The result is 1 when every begun
 * entry was reported, 0 when the connection failed (the error fields then tell
 * why; entries under way are reported as failed, those never begun are left
 * TG_BATCH_NOTSTARTED and not reported).
 *
 * Queued transfers (handles from tgputty_openfile, released by
 * tgputty_closefile, which returns 1 when the server confirmed the close and
 * 0 otherwise, and sets the handle to null). Download: preparequeue issues read
 * requests up to the window and returns false once the transfer has failed;
 * download_data hands out the next block in order of offset (a malloc'ed copy,
 * released with tgputty_sfree) and waits at most 200 ms for one; done is
 * true once every byte up to the end of file was handed out, or after a
 * failure that preparequeue has reported. Upload: upload_ready is true while
 * another block may be queued (it waits at most 200 ms for room);
 * upload_data queues one block at its offset; done is true when every block is
 * acknowledged (or the transfer failed); ensuredone waits for all answers and
 * tells whether all succeeded. set_error marks the transfer failed (and, when
 * the server has sent nothing for timeoutticks, the connection dead); cleanup
 * releases it (before tgputty_closefile).
 */

/* Versions and sizes. */
TG_EXPORT void tggetstructsizes(int32_t *ulongsize, int32_t *namesize, int32_t *attrsize,
                                int32_t *namessize);
TG_EXPORT void tgputtygetversions(double *puttyrelease, int32_t *tgputtylibbuild);
TG_EXPORT int32_t tggetlibrarycontextsize(void);

/* Context and configuration. */
TG_EXPORT int32_t tgputty_initcontext(bool verbose, TTGLibraryContext *ctx);
TG_EXPORT void tgputtyfree(TTGLibraryContext *ctx);
TG_EXPORT bool tgputty_getconfigarrays(const int32_t **types, const int32_t **subtypes,
                                       const char *const **names, int32_t *count);
TG_EXPORT void tgputty_setverbose(uint8_t flags); /* bit 0 verbose, bit 1 checkpoints */
TG_EXPORT void tgputty_setkeyfile(const char *keyfile, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgputty_conf_get_int(int32_t index, TTGLibraryContext *ctx);
TG_EXPORT const char *tgputty_conf_get_str(int32_t index, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_conf_set_int(int32_t index, int32_t value, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_conf_set_str(int32_t index, const char *value, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_conf_set_bool(int32_t index, bool value, TTGLibraryContext *ctx);
/* The wait callback, called at most every intervalms (1..1000) ms; null for none. */
TG_EXPORT void tgputty_setwaitcallback(tg_wait_callback callback, int32_t intervalms,
                                       TTGLibraryContext *ctx);
/* TG_ERRKIND_* of the last call's failure. */
TG_EXPORT int32_t tgputty_geterrorkind(TTGLibraryContext *ctx);

/* Connection. tgsftp_connect returns 0 when logged in with SFTP running. A host
 * "name:port" connects to that port; port 0 means 22. */
TG_EXPORT int32_t tgsftp_connect(const char *host, const char *user, int32_t port,
                                 const char *password, TTGLibraryContext *ctx);
TG_EXPORT void tgsftp_close(TTGLibraryContext *ctx);

/* Remote operations: 1 on success. */
TG_EXPORT int32_t tgsftp_cd(const char *dir, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_ls(const char *dir, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_rm(const char *name, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_mkdir(const char *dir, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_rmdir(const char *dir, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_mv(const char *from, const char *to, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_mvex(const char *from, const char *to, int32_t flags,
                              TTGLibraryContext *ctx);
/* local null: the data goes to write_to_stream (get) or comes from read_from_stream (put). */
TG_EXPORT int32_t tgsftp_getfile(const char *remote, const char *local, bool append,
                                 TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_putfile(const char *local, const char *remote, bool append,
                                 TTGLibraryContext *ctx);
TG_EXPORT bool tgsftp_getstat(const char *path, struct fxp_attrs *attrs, TTGLibraryContext *ctx);
TG_EXPORT bool tgsftp_setstat(const char *path, const struct fxp_attrs *attrs,
                              TTGLibraryContext *ctx);

/* Batches over many files, 1 on success (see "Batches" above). */
TG_EXPORT int32_t tgsftp_getfiles(int32_t count, struct tg_batch_entry *entries,
                                  tg_batch_callback done, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_statfiles(int32_t count, struct tg_batch_entry *entries,
                                   tg_batch_callback done, TTGLibraryContext *ctx);
TG_EXPORT int32_t tgsftp_rmfiles(int32_t count, struct tg_batch_entry *entries,
                                 tg_batch_callback check, tg_batch_callback done,
                                 TTGLibraryContext *ctx);

/* Low-level file and queued-transfer access. */
TG_EXPORT struct TGFileHandle *tgputty_openfile(const char *path, int32_t openflags,
                                                const struct fxp_attrs *attrs,
                                                TTGLibraryContext *ctx);
TG_EXPORT int32_t tgputty_closefile(struct TGFileHandle **fh, TTGLibraryContext *ctx);
TG_EXPORT struct TGTransfer *tgputty_xfer_download_init(struct TGFileHandle *fh, uint64_t offset,
                                                        TTGLibraryContext *ctx);
TG_EXPORT struct TGTransfer *tgputty_xfer_upload_init(struct TGFileHandle *fh, uint64_t offset,
                                                      TTGLibraryContext *ctx);
TG_EXPORT bool tgputty_xfer_download_preparequeue(struct TGTransfer *xfer, TTGLibraryContext *ctx);
/* True with a block of *len bytes that the caller releases with tgputty_sfree. */
TG_EXPORT bool tgputty_xfer_download_data(struct TGTransfer *xfer, void **buf, int32_t *len,
                                          TTGLibraryContext *ctx);
TG_EXPORT bool tgputty_xfer_upload_ready(struct TGTransfer *xfer, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_xfer_upload_data(struct TGTransfer *xfer, const char *buffer, int32_t len,
                                        uint64_t offset, TTGLibraryContext *ctx);
TG_EXPORT bool tgputty_xfer_done(struct TGTransfer *xfer, TTGLibraryContext *ctx);
TG_EXPORT bool tgputty_xfer_ensuredone(struct TGTransfer *xfer, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_xfer_set_error(struct TGTransfer *xfer, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_xfer_cleanup(struct TGTransfer *xfer, TTGLibraryContext *ctx);
TG_EXPORT void tgputty_sfree(void *block, TTGLibraryContext *ctx);

#ifdef __cplusplus
}
#endif

#endif
