// The check of the mail server's certificate during the TLS handshake, before
// any credential is sent. A certificate whose chain the system trusts and
// whose name matches the server is accepted. Any other certificate is
// accepted by its public key: the first time its SHA-256 pin is stored in
// "Belvanto.mailpins" beside the INI (one "host:port pin" line per server),
// afterwards only that same key. Deleting a server's line accepts a new one.
#pragma once

#include <filesystem>
#include <string>

namespace belvanto {

inline constexpr const char* kPinDateiName = "Belvanto.mailpins";

class ZertifikatPruefung {
 public:
  explicit ZertifikatPruefung(std::filesystem::path programmOrdner);

  // Found in any letter case, like the INI.
  std::filesystem::path pinDatei() const;

  // Prepares the OpenSSL context (SSL_CTX*, as libcurl hands it over) of a
  // connection to `host`:`port` so that the handshake fails unless the
  // certificate passes.
  void einrichten(void* sslCtx, const std::string& host, int port);

  // Why the last handshake was refused here, in German; empty when it was
  // not refused by this check.
  const std::string& ablehnung() const { return ablehnung_; }
  void vergessen() { ablehnung_.clear(); }

  // The decision for a certificate the system does not trust, by the base64
  // SHA-256 of its public key. Stores the pin of a server met the first time.
  bool schluesselAnnehmen(const std::string& pin);

 private:
  std::filesystem::path programmOrdner_;
  std::string host_;
  std::string ziel_;  // "host:port", the key of the pin file
  std::string ablehnung_;
};

}  // namespace belvanto
