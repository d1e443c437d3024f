// Host keys: the library keeps the store (an OpenSSH known_hosts file) and
// says whether a key is known, unknown or changed; this side decides, and for
// a changed key reads the stored key itself to show both fingerprints.
#include "transfer/Serverzugang.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "basis/Bediener.h"
#include "util/StringLib.h"
#include "util/Systemfehler.h"

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

std::string neuText(const std::string& host, int32_t port, const std::string& neu,
                    const std::string& grund) {
  return "Der Server " + host + " (Port " + std::to_string(port) +
         ") ist noch nicht bekannt. Sein Schlüssel kann nicht vermerkt werden: " + grund +
         "\r\rFingerabdruck: " + neu +
         "\r\rOhne Vermerk kann ein später geänderter Schlüssel nicht erkannt werden. "
         "Nur wenn der Fingerabdruck stimmt: Trotzdem verbinden?";
}


}  // namespace

void hostKeysPruefen(const std::filesystem::path& hostKeys) {
  const int fd = ::open(hostKeys.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return;
  std::string grund;
  if (fd < 0) {
    grund = systemFehlerText(errno);
  } else {
    struct stat sb {};
    if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) grund = "keine gewöhnliche Datei";
    ::close(fd);
  }
  if (grund.empty()) return;
  throw Fehler("Die Datei der bekannten Server-Schlüssel \"" + hostKeys.string() +
               "\" kann nicht gelesen werden (" + grund +
               "). Ohne sie wird keine Verbindung zum Server aufgebaut.");
}

std::string hostKeysNichtSchreibbar(const std::filesystem::path& hostKeys) {
  std::error_code ec;
  const auto ordner = hostKeys.has_parent_path() ? hostKeys.parent_path() : ".";
  // The store is replaced whole: the folder must take a new file.
  // With the effective rights, as the write itself will have them.
  if (::faccessat(AT_FDCWD, ordner.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "Der Ordner \"" + ordner.string() + "\" ist nicht beschreibbar (" +
           systemFehlerText(errno) + ").";
  if (std::filesystem::exists(hostKeys, ec) &&
      ::faccessat(AT_FDCWD, hostKeys.c_str(), W_OK, AT_EACCESS) != 0)
    return "Die Datei \"" + hostKeys.string() + "\" ist nicht beschreibbar (" +
           systemFehlerText(errno) + ").";
  return {};
}

std::string fingerabdruck(const std::string& keyBase64) {
  if (keyBase64.empty() || keyBase64.size() % 4 != 0) return {};
  std::string blob(keyBase64.size() / 4 * 3, '\0');
  int laenge = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(blob.data()),
                               reinterpret_cast<const unsigned char*>(keyBase64.data()),
                               static_cast<int>(keyBase64.size()));
  if (laenge < 0) return {};
  // The decoder counts the padding as zero bytes; more than two "=" is no
  // base64 (and would count the length below zero).
  const auto letztes = keyBase64.find_last_not_of('=');
  const std::size_t fuellung = keyBase64.size() - (letztes == std::string::npos ? 0 : letztes + 1);
  if (fuellung > 2 || static_cast<std::size_t>(laenge) < fuellung) return {};
  laenge -= static_cast<int>(fuellung);
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
      case TG_HOSTKEY_UNKNOWN: {
        const std::string grund = hostKeysNichtSchreibbar(hostKeys);
        if (grund.empty()) {
          storehostkey = true;
          return true;
        }
        storehostkey = false;
        return bediener.frage(neuText(host ? host : "", port, fingerprint ? fingerprint : "", grund));
      }
      default: {
        const std::string h = host ? host : "";
        std::string text = geaendertText(h, port, fingerprint ? fingerprint : "",
                                         gespeicherteFingerabdruecke(hostKeys, h, port));
        // Asked all the same; the connection then goes ahead without the note.
        const std::string grund = hostKeysNichtSchreibbar(hostKeys);
        if (!grund.empty())
          text += "\r\rDer neue Schlüssel kann nicht vermerkt werden: " + grund;
        const bool ja = bediener.frage(text);
        storehostkey = ja && grund.empty();
        return ja;
      }
    }
  } catch (...) {
    storehostkey = false;
    return false;
  }
}

std::string serverGrund(int32_t art, const std::string& text, int32_t zeitlimitSekunden) {
  switch (art) {
    case TG_ERRKIND_TIMEOUT:
      return "der Server hat " + std::to_string(zeitlimitSekunden) +
             " Sekunden lang weniger als 1.024 Bytes gesendet";
    case TG_ERRKIND_TOOLARGE:
      return "der Server liefert mehr Daten, als er angibt";
    default:
      return text;
  }
}

void ordnerListen(TTGPuttySFTP& sitzung, const std::string& ordner, int32_t zeitlimitSekunden) {
  amServer("Der Ordner \"" + ordner + "\" auf dem Server kann nicht geöffnet werden",
           [&] { sitzung.ChangeDir(ordner); });
  try {
    sitzung.ListDir(".");
  } catch (const TGPuttySFTPException& e) {
    throw Fehler("Der Ordner \"" + ordner + "\" auf dem Server kann nicht gelesen werden (" +
                 (sitzung.ErrorKind() == TG_ERRKIND_TOOLARGE
                      ? "er hat mehr als 500.000 Einträge oder mehr als 200 MB an Namen"
                      : serverGrund(sitzung.ErrorKind(), e.what(), zeitlimitSekunden)) +
                 ")");
  }
}

std::unique_ptr<TTGPuttySFTP> neueSitzung(const Serverzugang& zugang, Bediener& bediener) {
  auto sitzung = std::make_unique<TTGPuttySFTP>(true);
  sitzung->SetStringConfigValue("known_hosts_file", zugang.hostKeys.string());
  sitzung->setTimeoutTicks(zugang.zeitlimitSekunden * 1000);
  sitzung->OnWait = [&bediener] { bediener.nachrichtenVerarbeiten(); };
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
