// The mail sender on libcurl. libcurl speaks SMTP and builds the MIME parts;
// the headers it leaves to us (Date, Message-ID, an encoded subject, file
// names that are not ASCII) are made here. The easy handle lives from the
// first mail to DisConnect, which keeps its one connection open in between.
#include "mail/UMailUnit.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <optional>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "basis/Laufbuch.h"
#include "util/StringLib.h"

namespace belvanto {

namespace fs = std::filesystem;

struct MailVersand::Fehlschlag : std::runtime_error {
  Fehlschlag(const std::string& text, std::string artText, std::string detailText = "")
      : std::runtime_error(text), art(std::move(artText)), detail(std::move(detailText)) {}
  std::string art;     // the kind of error, for the second message box
  std::string detail;  // libcurl's own words, in English: for the log only
};

namespace {

void curlVorbereiten() {
  static const CURLcode ergebnis = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)ergebnis;
}

bool druckbaresAscii(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// A header line must not be ended or continued by the value put into it.
std::string einzeilig(std::string_view text) {
  std::string ergebnis(text);
  for (char& c : ergebnis) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return ergebnis;
}

std::string base64(std::string_view daten) {
  std::string text(4 * ((daten.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                reinterpret_cast<const unsigned char*>(daten.data()),
                                static_cast<int>(daten.size()));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// RFC 2047 encoded words of at most 45 bytes each, so no word is longer than
// the 75 characters allowed, and no UTF-8 character is cut between two words.
std::string betreffKodieren(std::string_view betreff) {
  const std::string text = einzeilig(betreff);
  if (druckbaresAscii(text) && text.find("=?") == std::string::npos) return text;
  std::string ergebnis;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t ende = std::min(text.size(), pos + 45);
    while (ende < text.size() && (static_cast<unsigned char>(text[ende]) & 0xC0) == 0x80) --ende;
    if (!ergebnis.empty()) ergebnis += ' ';
    ergebnis += "=?UTF-8?B?" + base64(std::string_view(text).substr(pos, ende - pos)) + "?=";
    pos = ende;
  }
  return ergebnis;
}

// filename="…" for ASCII names, RFC 2231 filename*=UTF-8''… for the others.
std::string dateinameParameter(const std::string& name) {
  if (druckbaresAscii(name)) {
    std::string ergebnis = "filename=\"";
    for (const char c : name) {
      if (c == '"' || c == '\\') ergebnis += '\\';
      ergebnis += c;
    }
    return ergebnis + "\"";
  }
  static constexpr std::string_view kFrei = "!#$&+-.^_`|~";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string ergebnis = "filename*=UTF-8''";
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
        kFrei.find(c) != std::string_view::npos) {
      ergebnis += c;
    } else {
      ergebnis += '%';
      ergebnis += kHex[b >> 4];
      ergebnis += kHex[b & 15];
    }
  }
  return ergebnis;
}

// RFC 5322 date in local time; names in English whatever the locale says.
std::string datumKopf() {
  static constexpr const char* kTage[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonate[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t jetzt = std::time(nullptr);
  std::tm lokal{};
  localtime_r(&jetzt, &lokal);
  char zone[8] = "+0000";
  std::strftime(zone, sizeof zone, "%z", &lokal);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s", kTage[lokal.tm_wday],
                lokal.tm_mday, kMonate[lokal.tm_mon], lokal.tm_year + 1900, lokal.tm_hour,
                lokal.tm_min, lokal.tm_sec, zone);
  return text;
}

std::string nachrichtenId(const std::string& absender) {
  const auto at = absender.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : absender.substr(at + 1);
  if (domain.empty() || !druckbaresAscii(domain) ||
      domain.find_first_of("<>\" ") != std::string::npos) {
    domain = "belvanto.invalid";
  }
  unsigned char zufall[16];
  if (RAND_bytes(zufall, sizeof zufall) != 1) throw std::runtime_error("RAND_bytes");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (const unsigned char b : zufall) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  return "<" + id + "." + std::to_string(std::time(nullptr)) + "@" + domain + ">";
}

std::vector<std::string> empfaengerListe(const std::string& liste) {
  std::vector<std::string> eintraege;
  std::size_t anfang = 0;
  while (anfang <= liste.size()) {
    const auto ende = std::min(liste.find_first_of(";,", anfang), liste.size());
    const std::string eintrag = trim(liste.substr(anfang, ende - anfang));
    if (!eintrag.empty()) eintraege.push_back(eintrag);
    anfang = ende + 1;
  }
  return eintraege;
}

struct Empfaengerangabe {
  std::string adresse;  // for the envelope (RCPT TO)
  std::string kopf;     // for the To header, the name encoded where needed
};

// local@domain with neither part empty, and nothing a mail server would take
// for the syntax around an address.
bool gueltigeAdresse(std::string_view a) {
  const auto at = a.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == a.size() ||
      a.find('@', at + 1) != std::string_view::npos)
    return false;
  if (a[at + 1] == '.' || a.back() == '.') return false;
  return a.find_first_of(" <>()[]\\,;:\"") == std::string_view::npos;
}

// "adresse@firma.de" or "Name <adresse@firma.de>"; nullopt for anything
// else, and for an entry holding a control character, which must reach
// neither the envelope nor the header.
std::optional<Empfaengerangabe> empfaengerLesen(std::string_view eintrag) {
  for (const char c : eintrag)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
  if (eintrag.back() != '>') {
    if (!gueltigeAdresse(eintrag)) return std::nullopt;
    return Empfaengerangabe{std::string(eintrag), std::string(eintrag)};
  }
  const auto auf = eintrag.rfind('<');
  if (auf == std::string_view::npos) return std::nullopt;
  const std::string adresse(eintrag.substr(auf + 1, eintrag.size() - auf - 2));
  if (!gueltigeAdresse(adresse)) return std::nullopt;
  std::string name = trim(eintrag.substr(0, auf));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"' && !druckbaresAscii(name))
    name = name.substr(1, name.size() - 2);
  if (name.empty()) return Empfaengerangabe{adresse, adresse};
  return Empfaengerangabe{adresse, betreffKodieren(name) + " <" + adresse + ">"};
}

// Paths each followed by ";", the last ";" optional. Empty entries (";;")
// name no file and are passed over.
std::vector<fs::path> anhangPfade(const std::string& anhang) {
  std::vector<fs::path> pfade;
  std::size_t anfang = 0;
  while (anfang < anhang.size()) {
    const auto ende = std::min(anhang.find(';', anfang), anhang.size());
    if (ende > anfang) pfade.emplace_back(anhang.substr(anfang, ende - anfang));
    anfang = ende + 1;
  }
  return pfade;
}

// Recipients, subject and attachment names of one mail, for the run log.
std::string mailBeschreibung(const std::vector<std::string>& empfaenger, const std::string& betreff,
                             const std::vector<fs::path>& anhaenge) {
  std::string text = "an ";
  for (std::size_t i = 0; i < empfaenger.size(); ++i) text += (i ? ", " : "") + empfaenger[i];
  text += "; Betreff \"" + betreff + "\"; Anlagen: ";
  for (std::size_t i = 0; i < anhaenge.size(); ++i)
    text += (i ? ", " : "") + anhaenge[i].filename().string();
  return text + (anhaenge.empty() ? "keine" : "");
}

std::string kopfzeile(const char* name, const std::string& wert) {
  return std::string(name) + ": " + einzeilig(wert);
}

// The parts of one message, released and unhooked from the handle when the
// call ends however it ends, so nothing of it reaches the next mail.
struct Nachricht {
  CURL* curl;
  curl_mime* mime = nullptr;
  curl_slist* kopf = nullptr;
  curl_slist* empfaenger = nullptr;

  explicit Nachricht(CURL* c) : curl(c) {}
  Nachricht(const Nachricht&) = delete;
  Nachricht& operator=(const Nachricht&) = delete;
  ~Nachricht() {
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_mime_free(mime);
    curl_slist_free_all(kopf);
    curl_slist_free_all(empfaenger);
  }
};

void anhaengen(curl_slist*& liste, const std::string& text) {
  curl_slist* neu = curl_slist_append(liste, text.c_str());
  if (neu == nullptr) throw std::bad_alloc();
  liste = neu;
}

}  // namespace

MailVersand::MailVersand(Bediener& bediener, const fs::path& programmOrdner, Laufbuch* laufbuch)
    : bediener_(bediener), laufbuch_(laufbuch), pruefung_(programmOrdner) {
  curlVorbereiten();
}

void MailVersand::vermerken(const std::string& zeile) {
  if (laufbuch_) laufbuch_->schreiben(zeile);
}

MailVersand::~MailVersand() {
  DisConnect();
}

void MailVersand::Connect(const std::string& MailAbsender, const std::string& MailPasswort,
                          const std::string& MailServer, int MailPort) {
  DisConnect();
  benutzer_ = MailAbsender;
  passwort_ = MailPasswort;
  server_ = MailServer;
  port_ = MailPort;
}

void MailVersand::DisConnect() {
  // Cleaning the handle up sends QUIT on a connection that is still open.
  if (curl_ != nullptr) curl_easy_cleanup(curl_);
  curl_ = nullptr;
}

bool MailVersand::SendeMail(const std::string& MailAbsender, const std::string& MailEmpfaenger,
                            const std::string& Betreff, const std::string& Anhang,
                            const std::vector<std::string>& Body) {
  return SendeMail(MailAbsender, MailEmpfaenger, Betreff, anhangPfade(Anhang), Body);
}

bool MailVersand::SendeMail(const std::string& MailAbsender, const std::string& MailEmpfaenger,
                            const std::string& Betreff, const std::vector<fs::path>& anhaenge,
                            const std::vector<std::string>& Body) {
  const auto eintraege = empfaengerListe(MailEmpfaenger);
  const std::string mail = mailBeschreibung(eintraege, Betreff, anhaenge);
  if (eintraege.empty()) {
    vermerken("Mail nicht gesendet, kein Empfänger eingetragen: " + mail);
    return false;
  }
  try {
    senden(MailAbsender, eintraege, Betreff, anhaenge, Body);
    vermerken("Mail gesendet: " + mail);
    return true;
  } catch (const Fehlschlag& f) {
    vermerken("Mail nicht gesendet: " + mail + "; " + f.what() + f.detail + " (" + f.art + ")");
    fehlschlagZeigen(f.what(), f.art);
  } catch (const std::exception& e) {
    vermerken("Mail nicht gesendet: " + mail + "; " + e.what());
    fehlschlagZeigen(e.what(), "Systemfehler");
  }
  ++nichtGesendet_;
  return false;
}

void MailVersand::fehlschlagZeigen(const std::string& text, const std::string& art) {
  // Whatever state the session is in, the next mail starts a new one.
  DisConnect();
  bediener_.meldung(text, kVersandFehlerTitel);
  bediener_.meldung(art, kVersandFehlerTitel);
}

std::string MailVersand::serverName() const {
  return server_ + ":" + std::to_string(port_);
}

void MailVersand::senden(const std::string& absender, const std::vector<std::string>& eintraege,
                         const std::string& betreff, const std::vector<fs::path>& anhaenge,
                         const std::vector<std::string>& body) {
  if (trim(server_).empty())
    throw Fehlschlag("In Belvanto.ini ist kein Mailserver (MailServer) eingetragen.",
                     "Einstellungsfehler");
  if (port_ < 1 || port_ > 65535)
    throw Fehlschlag("Der Port " + std::to_string(port_) + " des Mailservers " + server_ +
                         " ist ungültig (MailPort in Belvanto.ini).",
                     "Einstellungsfehler");
  std::vector<Empfaengerangabe> empfaenger;
  for (const auto& eintrag : eintraege) {
    auto e = empfaengerLesen(eintrag);
    if (!e)
      throw Fehlschlag("Der Empfänger \"" + sichtbar(eintrag) +
                           "\" ist keine gültige Mail-Adresse (Belvanto.ini); die Mail wurde "
                           "nicht gesendet.",
                       "Einstellungsfehler");
    empfaenger.push_back(std::move(*e));
  }
  // A file that is missing fails before anything goes to the server.
  for (const auto& pfad : anhaenge) {
    std::error_code fehler;
    std::ifstream probe(pfad, std::ios::binary);
    if (!probe || fs::is_directory(pfad, fehler))
      throw Fehlschlag("Die Anlage \"" + pfad.string() + "\" kann nicht gelesen werden.",
                       "Dateifehler");
  }

  if (curl_ == nullptr) {
    curl_ = curl_easy_init();
    if (curl_ == nullptr) throw Fehlschlag("libcurl kann nicht gestartet werden.", "Systemfehler");
    try {
      verbindungEinrichten();
    } catch (...) {
      // Half set up, the handle must never send: the next mail starts afresh.
      curl_easy_cleanup(curl_);
      curl_ = nullptr;
      throw;
    }
  }

  Nachricht nachricht(curl_);
  std::string an;
  for (const auto& e : empfaenger) {
    anhaengen(nachricht.empfaenger, "<" + e.adresse + ">");
    an += (an.empty() ? "" : ", ") + e.kopf;
  }
  anhaengen(nachricht.kopf, kopfzeile("Date", datumKopf()));
  anhaengen(nachricht.kopf, kopfzeile("From", absender));
  anhaengen(nachricht.kopf, kopfzeile("Reply-To", absender));
  anhaengen(nachricht.kopf, kopfzeile("To", an));
  anhaengen(nachricht.kopf, "Subject: " + betreffKodieren(betreff));
  anhaengen(nachricht.kopf, kopfzeile("Message-ID", nachrichtenId(absender)));

  nachricht.mime = curl_mime_init(curl_);
  std::string text;
  for (const auto& zeile : body) text += zeile + "\r\n";
  curl_mimepart* teil = curl_mime_addpart(nachricht.mime);
  curl_mime_data(teil, text.data(), text.size());
  curl_mime_type(teil, "text/plain; charset=UTF-8");
  curl_mime_encoder(teil, "quoted-printable");
  for (const auto& pfad : anhaenge) {
    teil = curl_mime_addpart(nachricht.mime);
    curl_mime_filedata(teil, pfad.c_str());
    curl_mime_encoder(teil, "base64");
    curl_slist* disposition = nullptr;
    anhaengen(disposition,
              "Content-Disposition: attachment; " + dateinameParameter(pfad.filename().string()));
    curl_mime_headers(teil, disposition, 1);
  }

  const std::string mailFrom = "<" + absender + ">";
  curl_easy_setopt(curl_, CURLOPT_MAIL_FROM, mailFrom.c_str());
  curl_easy_setopt(curl_, CURLOPT_MAIL_RCPT, nachricht.empfaenger);
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nachricht.kopf);
  curl_easy_setopt(curl_, CURLOPT_MIMEPOST, nachricht.mime);

  curlText_[0] = '\0';
  pruefung_.vergessen();
  const CURLcode ergebnis = curl_easy_perform(curl_);
  // OK only when the server accepted the message after the data.
  if (ergebnis != CURLE_OK) throw curlFehler(ergebnis);
}

void MailVersand::verbindungEinrichten() {
  const std::string url = "smtp://" + hostMitPort(server_, port_);
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "smtp");
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, curlText_);
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that stops answering must not hold the run forever.
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, 120L);

  // What protects the password must be in place, or nothing is sent: a libcurl
  // built with another TLS library takes neither our certificate check nor
  // the suites by these names.
  auto sicher = [](CURLcode ergebnis, const char* was) {
    if (ergebnis != CURLE_OK)
      throw Fehlschlag(std::string(was) +
                           " kann mit der vorhandenen libcurl nicht eingerichtet werden; es wird "
                           "keine Mail gesendet.",
                       "Einstellungsfehler");
  };
  // STARTTLS or nothing: without it curl stops before AUTH.
  sicher(curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL)),
         "Die Verschlüsselung (STARTTLS)");
  sicher(curl_easy_setopt(curl_, CURLOPT_SSLVERSION,
                          static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                              static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2)),
         "TLS 1.2");
  // Forward secrecy and authenticated encryption only: a server offering no
  // more than RSA key exchange or CBC never gets the password.
  sicher(curl_easy_setopt(curl_, CURLOPT_SSL_CIPHER_LIST,
                          "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                          "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                          "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305"),
         "Die Auswahl sicherer Verschlüsselungsverfahren");
  // The certificate is judged by ZertifikatPruefung in the handshake itself.
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
  sicher(curl_easy_setopt(curl_, CURLOPT_SSL_CTX_FUNCTION, &MailVersand::sslKontext),
         "Die Prüfung des Serverzertifikats");
  sicher(curl_easy_setopt(curl_, CURLOPT_SSL_CTX_DATA, this), "Die Prüfung des Serverzertifikats");
  // A resumed session would skip the certificate and so the check.
  curl_easy_setopt(curl_, CURLOPT_SSL_SESSIONID_CACHE, 0L);

  curl_easy_setopt(curl_, CURLOPT_USERNAME, benutzer_.c_str());
  curl_easy_setopt(curl_, CURLOPT_PASSWORD, passwort_.c_str());
  curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
}

CURLcode MailVersand::sslKontext(CURL*, void* sslCtx, void* selbst) {
  auto* versand = static_cast<MailVersand*>(selbst);
  versand->pruefung_.einrichten(sslCtx, versand->server_, versand->port_);
  return CURLE_OK;
}

MailVersand::Fehlschlag MailVersand::curlFehler(CURLcode code) const {
  const std::string server = serverName();
  const std::string detail = curlText_[0] != '\0' ? curlText_ : curl_easy_strerror(code);
  const std::string nummer = " (curl " + std::to_string(static_cast<int>(code)) + ")";
  const std::string ohnePasswort = " Das Passwort wurde nicht gesendet.";
  if (!pruefung_.ablehnung().empty()) return {pruefung_.ablehnung(), "Zertifikatsfehler" + nummer};

  std::string text;
  std::string art;
  switch (code) {
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      text = "\"" + server_ + "\" ist keine gültige Adresse eines Mailservers.";
      art = "Einstellungsfehler";
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
      text = "Der Mailserver " + server_ + " ist nicht bekannt.";
      art = "Verbindungsfehler";
      break;
    case CURLE_COULDNT_CONNECT:
      text = "Keine Verbindung zum Mailserver " + server + ".";
      art = "Verbindungsfehler";
      break;
    case CURLE_OPERATION_TIMEDOUT:
      text = "Der Mailserver " + server + " antwortet nicht.";
      art = "Verbindungsfehler";
      break;
    case CURLE_USE_SSL_FAILED:
      text = "Der Mailserver " + server + " bietet keine verschlüsselte Verbindung (STARTTLS) an." +
             ohnePasswort;
      art = "TLS-Fehler";
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
      text = "Die verschlüsselte Verbindung (TLS 1.2) zum Mailserver " + server +
             " kam nicht zustande." + ohnePasswort;
      art = "TLS-Fehler";
      break;
    case CURLE_LOGIN_DENIED:
      text = "Der Mailserver " + server + " hat die Anmeldung als \"" + benutzer_ +
             "\" abgelehnt (MailAbsender und MailPasswort in Belvanto.ini).";
      art = "Anmeldefehler";
      break;
    case CURLE_READ_ERROR:
      text = "Eine Anlage konnte beim Versand nicht gelesen werden; die Mail wurde nicht gesendet.";
      art = "Dateifehler";
      break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      text = "Der Mailserver " + server +
             " hat die Mail nicht angenommen oder die Verbindung ist beim Versand abgebrochen; "
             "die Mail wurde nicht gesendet.";
      art = "Übertragungsfehler";
      break;
    default:
      text = "Der Mailserver " + server + " hat die Mail nicht angenommen.";
      art = "SMTP-Fehler";
      break;
  }
  return {text, art + nummer, " (" + detail + ")"};
}

}  // namespace belvanto
