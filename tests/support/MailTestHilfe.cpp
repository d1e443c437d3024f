#include "support/MailTestHilfe.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "mail/UMailUnit.h"

namespace belvanto::test {

namespace {

std::vector<std::string> serverArgumente(const TempDir& ordner,
                                         const std::vector<std::string>& optionen) {
  std::vector<std::string> args{
      "--maildir", (ordner / "mails").string(), "--user", kBenutzer, "--password", kPasswort};
  args.insert(args.end(), optionen.begin(), optionen.end());
  return args;
}

// The body's lines joined by "|", so empty lines stay visible.
constexpr const char* kLeser = R"(import email, email.policy, os, sys
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
for k in ("From", "To", "Reply-To", "Subject"):
    print(k + ":", m[k])
print("Date:", "ja" if getattr(m["Date"], "datetime", None) else "nein")
print("Message-ID:", "ja" if m["Message-ID"] else "nein")
text = m.get_body(("plain",)).get_content().replace("\r\n", "\n")
print("Body:", (text[:-1] if text.endswith("\n") else text).replace("\n", "|"))
os.makedirs(sys.argv[2], exist_ok=True)
for a in m.iter_attachments():
    print("Anlage:", a.get_filename())
    with open(os.path.join(sys.argv[2], a.get_filename()), "wb") as f:
        f.write(a.get_payload(decode=True))
)";

}  // namespace

std::string erwarteteMail(const std::string& an, const std::string& betreff,
                          const std::string& body, const std::vector<std::string>& anlagen) {
  std::string text = "From: " + std::string(kBenutzer) + "\nTo: " + an +
                     "\nReply-To: " + kBenutzer + "\nSubject: " + betreff +
                     "\nDate: ja\nMessage-ID: ja\nBody: " + body + "\n";
  for (const auto& anlage : anlagen) text += "Anlage: " + anlage + "\n";
  return text;
}

SmtpServer::SmtpServer(const std::vector<std::string>& optionen)
    : server("smtp_server.py", serverArgumente(ordner, optionen)) {
  if (!server.waitForOutput("\npin ")) throw std::runtime_error("smtp_server.py printed no pin");
}

std::string SmtpServer::pin() const {
  return ereignisse("pin").at(0);
}

std::vector<std::string> SmtpServer::ereignisse(const std::string& art) const {
  std::vector<std::string> treffer;
  std::istringstream zeilen(server.output());
  for (std::string zeile; std::getline(zeilen, zeile);) {
    if (zeile.rfind(art + " ", 0) == 0) treffer.push_back(zeile.substr(art.size() + 1));
  }
  return treffer;
}

std::string SmtpServer::mail(int n) const {
  writeBytes(ordner / "leser.py", kLeser);
  const std::string befehl = "PYTHONIOENCODING=utf-8 /usr/bin/python3 '" +
                             (ordner / "leser.py").string() + "' '" +
                             (ordner / "mails" / (std::to_string(n) + ".eml")).string() + "' '" +
                             anlagen(n).string() + "' 2>&1";
  std::string text;
  if (FILE* aus = popen(befehl.c_str(), "r")) {
    char puffer[4096];
    for (std::size_t k; (k = fread(puffer, 1, sizeof puffer, aus)) > 0;) text.append(puffer, k);
    pclose(aus);
  }
  return text;
}

void SmtpServer::verbinden(MailVersand& versand, const std::string& passwort) const {
  versand.Connect(kBenutzer, passwort, "127.0.0.1", port());
}

}  // namespace belvanto::test
