// What every SFTP session of the program shares: the server settings of the
// INI, the store of known host keys beside it, and the judgement of a host
// key. A server seen for the first time is trusted and its key stored; a key
// that differs from the stored one is put to the person, since it is the sign
// of an attack. A store that cannot be read means no connection at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "transfer/tgputtysftp.h"
#include "util/Fehler.h"

namespace belvanto {

class Bediener;

inline constexpr const char* kHostKeyName = "Belvanto.hostkeys";

// Host ("name" or "name:port"), user and password as the INI gives them.
struct Serverzugang {
  std::string HostName;
  std::string UserName;
  std::string Password;
  std::filesystem::path hostKeys;  // the known-hosts store
  int32_t zeitlimitSekunden = 60;  // FtpZeitlimit
};

// A known-hosts store that is there but cannot be read would make every key
// look new: raises Fehler naming the file and the reason.
void hostKeysPruefen(const std::filesystem::path& hostKeys);

// Why the store cannot take a new key (German), empty when it can.
std::string hostKeysNichtSchreibbar(const std::filesystem::path& hostKeys);

// "SHA256:" and the base64 of the SHA-256 of a key blob (given in base64),
// without padding; empty when the text is no base64.
std::string fingerabdruck(const std::string& keyBase64);

// Fingerprints of the keys an OpenSSH known_hosts file holds for `host` and
// `port` ("host" lines serve port 22, "[host]:port" lines any port).
std::vector<std::string> gespeicherteFingerabdruecke(const std::filesystem::path& datei,
                                                     const std::string& host, int32_t port);

// The answer of OnVerifyHostKey. Never throws: it runs inside the library.
// A key seen for the first time is stored, or, where the store cannot take
// it, put to the person; a changed key is always put to the person.
bool VerifyHostKeyCallback(Bediener& bediener, const std::filesystem::path& hostKeys,
                           const char* host, int32_t port, const char* fingerprint,
                           int32_t verificationstatus, bool& storehostkey);

// A new unconnected session (verbose) with the known-hosts store, the host
// key judgement, the time limit and the server settings of `zugang`; while it
// waits for the server it lets the window's messages through.
std::unique_ptr<TTGPuttySFTP> neueSitzung(const Serverzugang& zugang, Bediener& bediener);
void anmeldungSetzen(TTGPuttySFTP& sitzung, const Serverzugang& zugang);

// The reason a step on the server failed, in German where the failure is one
// of the program's own limits (the time limit, more data than announced),
// else the session's text.
// `art` is the failure's TG_ERRKIND_*.
std::string serverGrund(int32_t art, const std::string& text, int32_t zeitlimitSekunden);

// Changes into `ordner` and lists it (ListDir(".")); a failure becomes Fehler
// "Der Ordner ... auf dem Server kann nicht geöffnet / gelesen werden (...)".
void ordnerListen(TTGPuttySFTP& sitzung, const std::string& ordner, int32_t zeitlimitSekunden);

// Runs one step on the server; a failure of the session becomes Fehler with
// the German `was` in front of the session's own text.
template <class Schritt>
void amServer(const std::string& was, Schritt&& schritt) {
  try {
    schritt();
  } catch (const TGPuttySFTPException& e) {
    throw Fehler(was + " (" + e.what() + ")");
  }
}

// Disconnects when the scope ends, however it ends.
class Trennen {
 public:
  explicit Trennen(TTGPuttySFTP& sitzung) : sitzung_(sitzung) {}
  ~Trennen() { sitzung_.Disconnect(); }
  Trennen(const Trennen&) = delete;
  Trennen& operator=(const Trennen&) = delete;

 private:
  TTGPuttySFTP& sitzung_;
};

}  // namespace belvanto
