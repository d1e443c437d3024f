// The certificate decision runs inside OpenSSL's handshake through a verify
// callback, so nothing may leave it as an exception: every failure becomes a
// refusal with its reason kept for the message boxes.
#include "mail/ZertifikatPruefung.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <system_error>
#include <utility>

#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {

namespace {

// Base64 of the SHA-256 of the DER SubjectPublicKeyInfo: the pin form libcurl
// and the browsers use, stable across a certificate renewal with the same key.
std::string schluesselPin(X509* zertifikat) {
  unsigned char* der = nullptr;
  const int laenge = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(zertifikat), &der);
  if (laenge <= 0) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLaenge = 0;
  const bool ok = EVP_Digest(der, static_cast<std::size_t>(laenge), digest, &digestLaenge,
                             EVP_sha256(), nullptr) == 1;
  OPENSSL_free(der);
  if (!ok) return {};
  unsigned char text[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
  const int n = EVP_EncodeBlock(text, digest, static_cast<int>(digestLaenge));
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n));
}

int zertifikatPruefen(X509_STORE_CTX* ctx, void* arg) {
  auto* pruefung = static_cast<ZertifikatPruefung*>(arg);
  // Chain and name (set in the context's parameters) as the system sees them.
  if (X509_verify_cert(ctx) == 1) return 1;
  X509* zertifikat = X509_STORE_CTX_get0_cert(ctx);
  if (zertifikat == nullptr) return 0;
  bool annehmen = false;
  try {
    annehmen = pruefung->schluesselAnnehmen(schluesselPin(zertifikat));
  } catch (...) {
    annehmen = false;
  }
  if (!annehmen) return 0;
  X509_STORE_CTX_set_error(ctx, X509_V_OK);
  return 1;
}

std::string kleinschreiben(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

ZertifikatPruefung::ZertifikatPruefung(std::filesystem::path programmOrdner)
    : programmOrdner_(std::move(programmOrdner)) {}

std::filesystem::path ZertifikatPruefung::pinDatei() const {
  return resolveNoCase(programmOrdner_, kPinDateiName);
}

void ZertifikatPruefung::einrichten(void* sslCtx, const std::string& host, int port) {
  auto* ctx = static_cast<SSL_CTX*>(sslCtx);
  // "[::1]" from the INI is the address ::1, for the check and the pin alike.
  host_ = kleinschreiben(std::string(ohneKlammern(host)));
  ziel_ = hostMitPort(host_, port);
  ablehnung_.clear();

  SSL_CTX_set_default_verify_paths(ctx);
  X509_VERIFY_PARAM* parameter = SSL_CTX_get0_param(ctx);
  if (X509_VERIFY_PARAM_set1_ip_asc(parameter, host_.c_str()) != 1) {
    X509_VERIFY_PARAM_set1_host(parameter, host_.c_str(), 0);
  }
  // libcurl is told to verify nothing itself; the decision is made here, and
  // a refusal must end the handshake.
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_cert_verify_callback(ctx, zertifikatPruefen, this);
}

bool ZertifikatPruefung::schluesselAnnehmen(const std::string& pin) {
  const std::string ohnePasswort = " Das Passwort wurde nicht gesendet.";
  if (pin.empty()) {
    ablehnung_ = "Der Schlüssel im Zertifikat des Mailservers " + ziel_ + " ist nicht lesbar." +
                 ohnePasswort;
    return false;
  }
  const auto datei = pinDatei();
  std::string inhalt;
  std::error_code fehler;
  if (std::filesystem::exists(datei, fehler)) {
    try {
      inhalt = readFileBytes(datei);
    } catch (const Fehler& f) {
      ablehnung_ = std::string(f.what()) + ohnePasswort;
      return false;
    }
  }

  for (const auto& zeile : splitLines(inhalt)) {
    const std::string eintrag = trim(zeile);
    const auto trenner = eintrag.find_first_of(" \t");
    if (trenner == std::string::npos) continue;
    if (kleinschreiben(eintrag.substr(0, trenner)) != ziel_) continue;
    const std::string gespeichert = trim(eintrag.substr(trenner));
    if (gespeichert == pin) return true;
    ablehnung_ = "Der Mailserver " + ziel_ +
                 " zeigt ein Zertifikat mit einem anderen Schlüssel als bisher, und das System "
                 "vertraut ihm nicht. Bisher: SHA256:" +
                 gespeichert + ", jetzt: SHA256:" + pin + "." + ohnePasswort +
                 " Hat der Server sein Zertifikat bekanntermaßen erneuert, löschen Sie seine "
                 "Zeile in \"" +
                 datei.string() + "\"; der nächste Versand übernimmt dann das neue Zertifikat.";
    return false;
  }

  if (!inhalt.empty() && inhalt.back() != '\n') inhalt += "\r\n";
  inhalt += ziel_ + " " + pin + "\r\n";
  try {
    dateiErsetzen(datei, inhalt);
  } catch (const Fehler& f) {
    ablehnung_ = "Der Schlüssel des Mailservers " + ziel_ + " (SHA256:" + pin +
                 ") kann nicht gespeichert werden. " + f.what() + ohnePasswort;
    return false;
  }
  return true;
}

}  // namespace belvanto
