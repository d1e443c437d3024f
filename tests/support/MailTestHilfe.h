// The loopback SMTP server as the mail tests use it, and the received
// messages as a mail program reads them (Python's email package).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace belvanto {
class MailVersand;
}

namespace belvanto::test {

inline constexpr const char* kBenutzer = "buchhaltung@firma.de";
inline constexpr const char* kPasswort = "Geh31m!pw";

// What SmtpServer::mail gives for a message from kBenutzer; `body` with its
// lines joined by "|".
std::string erwarteteMail(const std::string& an, const std::string& betreff,
                          const std::string& body, const std::vector<std::string>& anlagen = {});

class SmtpServer {
 public:
  explicit SmtpServer(const std::vector<std::string>& optionen = {});

  int port() const { return server.port(); }
  // The SHA-256 pin of the server's certificate key, as the server prints it.
  std::string pin() const;
  // The rest of every event line that begins with `art`, in order.
  std::vector<std::string> ereignisse(const std::string& art) const;
  // Received message n (from 1): its headers, body and attachment names, one
  // "Name: value" line each; the attachments are saved in anlagen(n).
  std::string mail(int n) const;
  std::filesystem::path anlagen(int n) const { return ordner / ("anlagen" + std::to_string(n)); }

  // Connects `versand` to this server as kBenutzer.
  void verbinden(MailVersand& versand, const std::string& passwort = kPasswort) const;

 private:
  TempDir ordner;
  TestServer server;
};

}  // namespace belvanto::test
