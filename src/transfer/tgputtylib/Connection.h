// One SSH connection with its SFTP channel: set-up (transport, host key,
// login, SFTP start) and the negotiated transfer sizes.
#pragma once

#include <libssh/libssh.h>

#include <memory>
#include <string>

#include "Sftp.h"
#include "State.h"

namespace belvanto::tglib {

class Connection {
 public:
  explicit Connection(LibState& st) : st_(st) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects, checks the host key, logs in and starts SFTP. On failure the
  // reason has been reported and the object holds nothing.
  bool open(const std::string& hostText, const std::string& user, int32_t port,
            const char* password);

  // A connection over a channel made elsewhere (a fuzzer playing the server),
  // with SFTP already started and the default transfer sizes.
  static std::unique_ptr<Connection> ueberKanal(LibState& st, std::unique_ptr<SftpChannel> kanal);

  SftpChannel& sftp() { return *sftp_; }
  bool usable() const { return sftp_ && !sftp_->dead(); }

  uint32_t readBlock() const { return readBlock_; }
  uint32_t writeBlock() const { return writeBlock_; }

 private:
  bool applyOptions(const std::string& host, int port, const std::string& user, Deadline dl);
  bool verifyHostKey(const std::string& host, int port);
  bool storeHostKey();
  bool authenticate(const std::string& user, const std::string& host, const char* password);
  bool startSftp();
  void release();

  LibState& st_;
  ssh_session session_ = nullptr;
  ssh_channel channel_ = nullptr;
  // The socket handed to libssh, which closes it only on some paths.
  int fd_ = -1;
  uint64_t fdDev_ = 0, fdIno_ = 0;
  std::unique_ptr<SftpChannel> sftp_;
  uint32_t readBlock_ = 32768;
  uint32_t writeBlock_ = 32768;
};

}  // namespace belvanto::tglib
