// Host keys: the library keeps the store (an OpenSSH known_hosts file) and
// says whether a key is known, unknown or changed; this side decides, and for
// a changed key reads the stored key itself to show both fingerprints.
#include "transfer/Serverzugang.h"

#include <openssl/evp.h>

#include <fstream>
#include <sstream>

#include "basis/Bediener.h"
#include "util/StringLib.h"

namespace belvanto {

namespace {

std::string hostMuster(const std::string& host, int32_t port) {
  return port == 22 || port == 0 ? host : "[" + host + "]:" + std::to_string(port);
}

// The line's comma-separated host patterns hold this host. The library writes
// plain names, never hashed ones or wildcards.
bool hostPasst(const std::string& hosts, const std::string& muster) {
  std::istringstream liste(hosts);
  std::string eintrag;
  while (std::getline(liste, eintrag, ','))
    if (equalsNoCase(eintrag, muster)) return true;
  return false;
}

std::string geaendertText(const std::string& host, int32_t port, const std::string& neu,
                          const std::vector<std::string>& alt) {
  std::string gespeichert;
  for (const auto& f : alt) gespeichert += (gespeichert.empty() ? "" : ", ") + f;
  if (gespeichert.empty()) gespeichert = "nicht lesbar";
  return "Achtung: Der Server " + host + " (Port " + std::to_string(port) +
         ") weist sich mit einem anderen Schlüssel aus als beim letzten Mal. Das kann ein "
         "Angriff sein.\r\rNeuer Fingerabdruck: " +
         neu + "\rGespeicherter Fingerabdruck: " + gespeichert +
         "\r\rNur wenn sicher ist, dass der Server einen neuen Schlüssel bekommen hat: "
         "Trotzdem verbinden und den neuen Schlüssel speichern?";
}

}  // namespace

std::string fingerabdruck(const std::string& keyBase64) {
  if (keyBase64.empty() || keyBase64.size() % 4 != 0) return {};
  std::string blob(keyBase64.size() / 4 * 3, '\0');
  int laenge = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(blob.data()),
                               reinterpret_cast<const unsigned char*>(keyBase64.data()),
                               static_cast<int>(keyBase64.size()));
  if (laenge < 0) return {};
  // The decoder counts the padding as zero bytes.
  for (auto it = keyBase64.rbegin(); it != keyBase64.rend() && *it == '='; ++it) --laenge;
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int hashLaenge = 0;
  if (EVP_Digest(blob.data(), static_cast<std::size_t>(laenge), hash, &hashLaenge, EVP_sha256(),
                 nullptr) != 1)
    return {};
  std::string text(4 * ((hashLaenge + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), hash,
                                static_cast<int>(hashLaenge));
  text.resize(static_cast<std::size_t>(n));
  while (!text.empty() && text.back() == '=') text.pop_back();
  return "SHA256:" + text;
}

std::vector<std::string> gespeicherteFingerabdruecke(const std::filesystem::path& datei,
                                                     const std::string& host, int32_t port) {
  std::vector<std::string> gefunden;
  std::ifstream ein(datei);
  std::string zeile;
  const std::string muster = hostMuster(host, port);
  while (std::getline(ein, zeile)) {
    std::istringstream felder(zeile);
    std::string hosts, typ, schluessel;
    if (!(felder >> hosts >> typ >> schluessel)) continue;
    if (hosts[0] == '#' || hosts[0] == '@' || !hostPasst(hosts, muster)) continue;
    if (auto f = fingerabdruck(schluessel); !f.empty()) gefunden.push_back(f);
  }
  return gefunden;
}

bool VerifyHostKeyCallback(Bediener& bediener, const std::filesystem::path& hostKeys,
                           const char* host, int32_t port, const char* fingerprint,
                           int32_t verificationstatus, bool& storehostkey) {
  try {
    switch (verificationstatus) {
      case TG_HOSTKEY_KNOWN:
        return true;
      case TG_HOSTKEY_UNKNOWN:
        storehostkey = true;
        return true;
      default: {
        const std::string h = host ? host : "";
        const bool ja =
            bediener.frage(geaendertText(h, port, fingerprint ? fingerprint : "",
                                         gespeicherteFingerabdruecke(hostKeys, h, port)));
        storehostkey = ja;
        return ja;
      }
    }
  } catch (...) {
    storehostkey = false;
    return false;
  }
}

std::unique_ptr<TTGPuttySFTP> neueSitzung(const Serverzugang& zugang, Bediener& bediener) {
  auto sitzung = std::make_unique<TTGPuttySFTP>(true);
  sitzung->SetStringConfigValue("known_hosts_file", zugang.hostKeys.string());
  sitzung->OnVerifyHostKey = [&bediener, pfad = zugang.hostKeys](const char* host, int32_t port,
                                                                 const char* fingerprint,
                                                                 int32_t status, bool& store) {
    return VerifyHostKeyCallback(bediener, pfad, host, port, fingerprint, status, store);
  };
  anmeldungSetzen(*sitzung, zugang);
  return sitzung;
}

void anmeldungSetzen(TTGPuttySFTP& sitzung, const Serverzugang& zugang) {
  sitzung.setUserName(zugang.UserName);
  sitzung.setPassword(zugang.Password);
  sitzung.setHostName(zugang.HostName);
}

}  // namespace belvanto
