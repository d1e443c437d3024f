// The mail sender of a run: SMTP over libcurl with STARTTLS required, TLS 1.2
// only and AUTH LOGIN. One connection is opened by the first mail and kept
// for the following ones until DisConnect. Failures are told to the person
// in two message boxes and the run goes on.
#pragma once

#include <curl/curl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "basis/Bediener.h"
#include "mail/ZertifikatPruefung.h"

namespace belvanto {

class Laufbuch;

inline constexpr const char* kVersandFehlerTitel = "Verbindungsfehler Versand !";

class MailVersand {
 public:
  // The pins of untrusted server certificates live beside the INI in
  // `programmOrdner`. Every mail sent, failed or left without recipient goes
  // to `laufbuch` when there is one.
  MailVersand(Bediener& bediener, const std::filesystem::path& programmOrdner,
              Laufbuch* laufbuch = nullptr);
  ~MailVersand();
  MailVersand(const MailVersand&) = delete;
  MailVersand& operator=(const MailVersand&) = delete;

  // Takes the settings; opens nothing and checks nothing. An open connection
  // is closed, so the next mail uses the new settings.
  void Connect(const std::string& MailAbsender, const std::string& MailPasswort,
               const std::string& MailServer, int MailPort);

  // One mail to the recipients of `MailEmpfaenger` (separated by ";" or ",";
  // an entry that holds no valid address fails before anything is sent),
  // with every file of `Anhang` (paths each followed by ";", the last ";" may
  // be missing) attached and the lines of `Body` as plain text. Empty
  // recipients: nothing is sent and nothing shown. True when the server
  // accepted the mail; a failure has been shown as two message boxes.
  bool SendeMail(const std::string& MailAbsender, const std::string& MailEmpfaenger,
                 const std::string& Betreff, const std::string& Anhang,
                 const std::vector<std::string>& Body);
  // The same with the attachments as single paths, which may hold ";".
  bool SendeMail(const std::string& MailAbsender, const std::string& MailEmpfaenger,
                 const std::string& Betreff, const std::vector<std::filesystem::path>& anhaenge,
                 const std::vector<std::string>& Body);

  // Ends the SMTP session with QUIT if one is open.
  void DisConnect();

  // Mails that failed (and were shown as failed) since construction.
  int nichtGesendet() const { return nichtGesendet_; }

  std::filesystem::path pinDatei() const { return pruefung_.pinDatei(); }

 private:
  struct Fehlschlag;
  void senden(const std::string& absender, const std::vector<std::string>& eintraege,
              const std::string& betreff, const std::vector<std::filesystem::path>& anhaenge,
              const std::vector<std::string>& body);
  void verbindungEinrichten();
  Fehlschlag curlFehler(CURLcode code) const;
  void fehlschlagZeigen(const std::string& text, const std::string& art);
  std::string serverName() const;
  static CURLcode sslKontext(CURL* curl, void* sslCtx, void* selbst);

  void vermerken(const std::string& zeile);

  Bediener& bediener_;
  Laufbuch* laufbuch_;
  ZertifikatPruefung pruefung_;
  std::string benutzer_;
  std::string passwort_;
  std::string server_;
  int port_ = 25;
  CURL* curl_ = nullptr;
  char curlText_[CURL_ERROR_SIZE] = {};
  int nichtGesendet_ = 0;
};

}  // namespace belvanto
