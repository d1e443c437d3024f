// A run stopped half-way, killed in a child process at one stage per row (or
// ended by an error), and the next Start with the same ticks: afterwards the
// server is empty, every delivered file is in an archive or the backup, the
// output folder holds the archives of an undisturbed run, every mail of such
// a run has arrived (some twice), and the INI and the mapping are as after it.
// A file that arrives on the server meanwhile stays there for the Start after.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>

#include "app/DownloadUmgebung.h"
#include "app/Laufjournal.h"
#include "support/MailTestHilfe.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::Umgebung;

const std::set<Haken> kAlle{Haken::mitDownload, Haken::belegeMailen, Haken::mitRemADV,
                            Haken::remAdvMailen};

// The output folder's archives: name, then entry names and contents, the
// document's time stamp left out.
std::map<std::string, std::map<std::string, std::string>> ausgabe(const fs::path& ordner) {
  static const std::regex datum(R"(<date>[-0-9T:]+</date>)");
  std::map<std::string, std::map<std::string, std::string>> aus;
  if (fs::exists(ordner))
    for (const auto& zip : fs::directory_iterator(ordner))
      for (const auto& [name, e] : test::mitLibzipLesen(zip.path()))
        aus[zip.path().filename().string()][name] = std::regex_replace(e.inhalt, datum, "");
  return aus;
}

std::multiset<std::string> betreffs(const test::SmtpServer& smtp) {
  std::multiset<std::string> aus;
  for (int n = 1; n <= static_cast<int>(smtp.ereignisse("message").size()); ++n) {
    const std::string mail = smtp.mail(n);
    const auto von = mail.find("\nSubject: ") + 10;
    aus.insert(mail.substr(von, mail.find('\n', von) - von));
  }
  return aus;
}

struct Ergebnis {
  std::map<std::string, std::map<std::string, std::string>> archive;
  std::set<std::string> mails;
  std::string lieferanten;
  int lfdNummer = 0;
};

Ergebnis ergebnis(Umgebung& u, const test::SmtpServer& smtp) {
  const auto b = betreffs(smtp);
  return {ausgabe(u.tmp / "ausgabe"), {b.begin(), b.end()},
          readBytes(u.programm / "LieferantenUmsetzung.csv"),
          konfigurationLesen(u.programm).LfdNummer};
}

const Ergebnis& ungestoert() {
  static const Ergebnis e = [] {
    Umgebung u;
    test::SmtpServer smtp;
    u.starten({}, test::mailIni(smtp));
    u.laufen(kAlle);
    EXPECT_EQ(u.fehler, "");
    return ergebnis(u, smtp);
  }();
  return e;
}

struct Stopp {
  const char* name;
  const char* bei;  // the progress text at which the run is killed
  int mal;          // at its n-th time
  bool fortgesetzt;  // whether the next Start finishes from the backup
};

const Stopp kStopps[] = {
    {"WhileFetching", "Kopieren (FTP): ", 3, false},
    {"AfterTheBackup", "Löschen (SFTP): ", 1, true},
    {"WhileDeletingOnTheServer", "Löschen (SFTP): ", 4, true},
    {"AfterTheFirstDocumentArchive", "Laden-Mail", 1, true},
    {"WhileMailing", "Abrechnungs-Mail", 1, true},
    {"AfterTheWriteBack", "Es wurden ", 1, true},
    // No kill: the output folder cannot be written, and the run ends with an error.
    {"OutputFolderReadOnly", nullptr, 0, true},
};

class Unterbrochen : public ::testing::TestWithParam<Stopp> {};

TEST_P(Unterbrochen, NextStartFinishesTheSettlement) {
  const Stopp& s = GetParam();
  const Ergebnis& soll = ungestoert();
  Umgebung u;
  const auto geliefert = u.ueberall();
  test::SmtpServer smtp;
  u.starten({}, test::mailIni(smtp));
  const fs::path gesperrt = u.tmp / "ausgabe";
  if (s.bei) {
    const pid_t kind = ::fork();
    ASSERT_GE(kind, 0);
    if (kind == 0) {
      int gesehen = 0;
      u.bediener.beiFortschritt = [&](const std::string& text) {
        if (text.starts_with(s.bei) && ++gesehen == s.mal) ::raise(SIGKILL);
      };
      u.laufen(kAlle);
      ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(kind, &status, 0), kind);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run got past the stop";
  } else {
    test::writeBytes(gesperrt / "alt.txt", "");
    fs::permissions(gesperrt, fs::perms(0500));
    u.ohne = std::make_unique<test::OhneRootRechte>();
    if (!u.ohne->wirksam()) GTEST_SKIP() << "permissions do not bind here";
    u.laufen(kAlle);
    EXPECT_NE(u.fehler, "");
    fs::permissions(gesperrt, fs::perms(0700));
    u.fehler.clear();
  }
  EXPECT_EQ(fs::exists(u.programm / kJournalName), s.fortgesetzt);

  // A settlement that arrived meanwhile waits for the Start after.
  const fs::path neu = u.root / "ZRABR/Neu.pdf";
  if (s.fortgesetzt) test::writeBytes(neu, "%PDF neu");
  u.gesagt.clear();
  u.bediener.beiFortschritt = nullptr;
  u.laufen(kAlle);
  ASSERT_EQ(u.fehler, "");
  const std::string fortsetzung = "meldung: Der Lauf vom ";
  EXPECT_EQ(!u.gesagt.empty() && u.gesagt.front().starts_with(fortsetzung), s.fortgesetzt);
  EXPECT_FALSE(fs::exists(u.programm / kJournalName));
  if (s.fortgesetzt) {
    EXPECT_TRUE(fs::remove(neu)) << "taken into the finished run";
  }
  for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"})
    EXPECT_TRUE(fs::is_empty(u.root / ordner)) << ordner;
  const auto ueberall = u.ueberall();
  for (const auto& inhalt : geliefert) EXPECT_TRUE(ueberall.count(inhalt)) << inhalt;

  const Ergebnis ist = ergebnis(u, smtp);
  EXPECT_EQ(ist.archive, soll.archive);
  EXPECT_EQ(ist.lieferanten, soll.lieferanten);
  EXPECT_EQ(ist.lfdNummer, soll.lfdNummer);
  for (const auto& betreff : soll.mails) EXPECT_TRUE(ist.mails.count(betreff)) << betreff;
}

INSTANTIATE_TEST_SUITE_P(Stufen, Unterbrochen, ::testing::ValuesIn(kStopps),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace belvanto
