// The session's own rules against a deliberately wrong library, the cases no
// real server can show: an old build, other record sizes, a context too large,
// a short name list, password prompts beyond the third, scripted queued
// transfers that stall, get cancelled or meet a failing stream.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <thread>

#include "transfer/tgputtysftp.h"

namespace belvanto {
namespace {

// What the wrong library answers, and what it was asked.
struct Falsch {
  int32_t groessen[4] = {sizeof(uint32_t), sizeof(fxp_name), sizeof(fxp_attrs), sizeof(fxp_names)};
  int32_t build = 12;
  int32_t kontextGroesse = 400;
  int32_t initErgebnis = 0;
  bool arraysDa = true;
  int32_t anzahlNamen = 85;
  std::vector<std::string> aufrufe;
  // tgsftp_connect asks these prompts in turn, then answers verbindeErgebnis.
  std::vector<std::string> prompts, antworten;
  int32_t verbindeErgebnis = 0;
  // tgsftp_cd prints these (kind, text), leaves this status and fails.
  std::vector<std::pair<uint8_t, std::string>> meldungen;
  int32_t fehlerTyp = TG_ERRTYPE_NONE;
  const char* fehlerText = nullptr;
  // Queued transfer: blocks in turn, "|" ends a pass; with stau no data after them, never done.
  std::deque<std::string> skript;
  bool stau = false, oeffnenScheitert = false;
  std::deque<std::string> ausgegeben;  // blocks handed out, kept until the end
  int geliefert = 0, freigegeben = 0;
  std::string getfileDaten;  // what tgsftp_getfile pushes through write_to_stream
  TTGLibraryContext* ctx = nullptr;
};
Falsch* f = nullptr;

const std::vector<std::string>& konfigNamen() {
  static std::vector<std::string> n = [] {
    std::vector<std::string> v = {"proxy_type",     "proxy_host",     "proxy_port",
                                  "proxy_username", "proxy_password", "known_hosts_file"};
    while (v.size() < 85) v.push_back("option" + std::to_string(v.size()));
    return v;
  }();
  return n;
}

TGPuttyLibrary falscheBibliothek() {
  TGPuttyLibrary t{};
  t.tggetstructsizes = [](int32_t* a, int32_t* b, int32_t* c, int32_t* d) {
    *a = f->groessen[0], *b = f->groessen[1], *c = f->groessen[2], *d = f->groessen[3];
  };
  t.tgputtygetversions = [](double* v, int32_t* b) { *v = 0.805, *b = f->build; };
  t.tggetlibrarycontextsize = [] { return f->kontextGroesse; };
  t.tgputty_initcontext = [](bool, TTGLibraryContext* ctx) {
    f->ctx = ctx;
    return f->initErgebnis;
  };
  t.tgputtyfree = [](TTGLibraryContext*) { f->aufrufe.push_back("free"); };
  t.tgputty_getconfigarrays = [](const int32_t**, const int32_t**, const char* const** n,
                                 int32_t* c) {
    static std::vector<const char*> zeiger;
    if (zeiger.empty()) {
      for (const auto& s : konfigNamen()) zeiger.push_back(s.c_str());
    }
    *n = zeiger.data(), *c = f->anzahlNamen;
    return f->arraysDa;
  };
  t.tgputty_conf_set_int = [](int32_t i, int32_t v, TTGLibraryContext*) {
    f->aufrufe.push_back("set_int " + std::to_string(i) + " " + std::to_string(v));
  };
  t.tgputty_conf_set_str = [](int32_t i, const char* v, TTGLibraryContext*) {
    f->aufrufe.push_back("set_str " + std::to_string(i) + " " + v);
  };
  t.tgsftp_connect = [](const char*, const char*, int32_t, const char*, TTGLibraryContext* ctx) {
    for (const auto& p : f->prompts) {
      bool cancel = false;
      const char* a = ctx->getpassword_callback(p.c_str(), false, &cancel, ctx);
      f->antworten.push_back(std::string(a ? a : "null") + (cancel ? " cancel" : ""));
      if (cancel) return 1;
    }
    return f->verbindeErgebnis;
  };
  t.tgsftp_close = [](TTGLibraryContext*) { f->aufrufe.push_back("close"); };
  t.tgsftp_cd = [](const char*, TTGLibraryContext* ctx) {
    for (const auto& [art, text] : f->meldungen) ctx->printmessage_callback(text.c_str(), art, ctx);
    ctx->fxp_errtype = f->fehlerTyp;
    ctx->fxp_error_message = const_cast<char*>(f->fehlerText);
    return 0;
  };
  t.tgsftp_getfile = [](const char*, const char*, bool, TTGLibraryContext* ctx) {
    f->aufrufe.push_back("getfile");
    const auto n = static_cast<int32_t>(f->getfileDaten.size());
    return ctx->write_to_stream(0, f->getfileDaten.data(), n, ctx) == n ? 1 : 0;
  };
  t.tgputty_openfile = [](const char*, int32_t, const fxp_attrs*, TTGLibraryContext*) {
    return f->oeffnenScheitert ? nullptr : reinterpret_cast<TGFileHandle*>(f);
  };
  t.tgputty_closefile = [](TGFileHandle** h, TTGLibraryContext*) {
    f->aufrufe.push_back("closefile");
    *h = nullptr;
    return 0;
  };
  t.tgputty_xfer_download_init = [](TGFileHandle*, uint64_t offset, TTGLibraryContext*) {
    f->aufrufe.push_back("init " + std::to_string(offset));
    return reinterpret_cast<TGTransfer*>(f);
  };
  t.tgputty_xfer_download_preparequeue = [](TGTransfer*, TTGLibraryContext*) { return true; };
  t.tgputty_xfer_download_data = [](TGTransfer*, void** buf, int32_t* len, TTGLibraryContext*) {
    if (f->skript.empty() && f->stau) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (f->skript.empty()) return false;
    const std::string block = f->skript.front();
    f->skript.pop_front();
    if (block == "|") return false;
    *buf = f->ausgegeben.emplace_back(block).data();
    *len = static_cast<int32_t>(block.size());
    ++f->geliefert;
    return true;
  };
  t.tgputty_xfer_done = [](TGTransfer*, TTGLibraryContext*) {
    return f->skript.empty() && !f->stau;
  };
  t.tgputty_xfer_set_error = [](TGTransfer*, TTGLibraryContext*) { f->aufrufe.push_back("error"); };
  t.tgputty_xfer_cleanup = [](TGTransfer*, TTGLibraryContext*) { f->aufrufe.push_back("cleanup"); };
  t.tgputty_sfree = [](void*, TTGLibraryContext*) { ++f->freigegeben; };
  return t;
}

int anzahl(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

class SitzungRegeln : public ::testing::Test {
 protected:
  Falsch falsch;
  void SetUp() override { f = &falsch; }
  void TearDown() override { f = nullptr; }
};

TEST_F(SitzungRegeln, ConstructionChecksTheLibrary) {
  const auto paar = [](size_t n) { return std::to_string(n) + "/" + std::to_string(n); };
  const struct {
    const char* fall;
    void (*aendern)(Falsch&);
    std::string fehler, letzteMeldungen;
    bool sftpFehler;
    int freigaben;  // context releases once the object is gone
  } faelle[] = {
      {"right", [](Falsch&) {}, "", "", false, 1},
      {"build 8", [](Falsch& x) { x.build = 8; }, "", "", false, 1},
      {"build 7", [](Falsch& x) { x.build = 7; },
       "tgputtylib is too old, its build number is 7, but we need a minimum of 8", "", false, 0},
      {"ulong 8", [](Falsch& x) { x.groessen[0] = 8; },
       "Invalid tgputtylib.dll: uses different struct sizes: ulongsize=8/4,namesize=" +
           paar(sizeof(fxp_name)) + ",attrsize=" + paar(sizeof(fxp_attrs)) +
           ",namessize=" + paar(sizeof(fxp_names)),
       "", false, 0},
      {"attrs 44", [](Falsch& x) { x.groessen[2] = 44; },
       "Invalid tgputtylib.dll: uses different struct sizes: ulongsize=4/4,namesize=" +
           paar(sizeof(fxp_name)) + ",attrsize=44/" + std::to_string(sizeof(fxp_attrs)) +
           ",namessize=" + paar(sizeof(fxp_names)),
       "", false, 0},
      {"context 401", [](Falsch& x) { x.kontextGroesse = 401; },
       "Incorrect TTGLibraryContext record size", "", false, 0},
      {"init fails", [](Falsch& x) { x.initErgebnis = 1; },
       "tgputty_initcontext failed - incorrect tgputtylib version?", "", true, 1},
      {"no arrays", [](Falsch& x) { x.arraysDa = false; },
       "tgputty_getconfigarrays failed - incorrect tgputtylib version?", "", true, 1},
      {"84 names", [](Falsch& x) { x.anzahlNamen = 84; }, "",
       "Possibly tgputtylib version mismatch, it has 84 config strings, but we expected 85", false,
       1},
  };
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.fall);
    falsch = Falsch{};
    fall.aendern(falsch);
    try {
      TTGPuttySFTP s(true, falscheBibliothek());
      EXPECT_EQ(fall.fehler, "");
      EXPECT_EQ(s.LastMessages(), fall.letzteMeldungen);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), fall.fehler);
      EXPECT_EQ(dynamic_cast<const TGPuttySFTPException*>(&e) != nullptr, fall.sftpFehler);
    }
    EXPECT_EQ(anzahl(falsch.aufrufe, "free"), fall.freigaben);
  }
}

TEST_F(SitzungRegeln, PromptsAndConnectionState) {
  TTGPuttySFTP s(true, falscheBibliothek());
  s.Disconnect();  // unconnected: nothing happens
  EXPECT_EQ(anzahl(falsch.aufrufe, "close"), 0);
  s.setPassword("geheim");
  s.setKeyPassword("schluessel");
  std::vector<std::string> meldungen;
  s.OnMessage = [&](const std::string& m, bool err) { meldungen.push_back(m + (err ? "!" : "")); };

  falsch.prompts = {"Password: ", "Passphrase for key \"id\": ", "passphrase for key x: ", "P: "};
  try {
    s.Connect();
    ADD_FAILURE() << "connected";
  } catch (const TGPuttySFTPException& e) {
    EXPECT_EQ(std::string(e.what()).rfind("tgsftp_connect", 0), 0u) << e.what();
  }
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(falsch.antworten,
            (std::vector<std::string>{"geheim", "schluessel", "geheim", "null cancel"}));
  EXPECT_EQ(meldungen,
            std::vector<std::string>{"Password was rejected, or no password given for P: .\r\n!"});

  falsch.antworten.clear();
  falsch.prompts = {"Password: "};
  s.Connect();  // attempts counted afresh
  EXPECT_TRUE(s.Connected());
  EXPECT_EQ(falsch.antworten, std::vector<std::string>{"geheim"});
  s.Disconnect();
  s.Disconnect();
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(anzahl(falsch.aufrufe, "close"), 1);

  s.OnGetInput = [](bool&) { return std::string("abcdef"); };
  char puffer[8];
  EXPECT_TRUE(falsch.ctx->get_input_callback(puffer, 4, falsch.ctx));
  EXPECT_STREQ(puffer, "abc");  // typed input is cut to the buffer, zero included
}

TEST_F(SitzungRegeln, ErrorMessagesAndCollectedLibraryMessages) {
  TTGPuttySFTP s(true, falscheBibliothek());
  std::vector<std::string> checkpoints;
  s.OnCheckpoint = [&](const std::string& m, uint8_t) { checkpoints.push_back(m); };
  const struct {
    int32_t fehlerTyp;
    const char* fehlerText;
    std::string erwartet;
  } faelle[] = {
      {TG_ERRTYPE_NONE, nullptr, "tgsftp_cd: Unknown Error.\r\neins\nzwei\n"},
      {-1, "x", "tgsftp_cd: Unknown Error.\r\neins\nzwei\n"},
      {2, "No such file", "tgsftp_cd: Error 2, No such file"},
      {0, "", "tgsftp_cd: Error 0, "},
  };
  for (const auto& fall : faelle) {
    falsch.meldungen = {{0, "eins\n"}, {2, "psftp_cd"}, {1, "zwei\n"}};
    falsch.fehlerTyp = fall.fehlerTyp;
    falsch.fehlerText = fall.fehlerText;
    s.setLastMessages("vorher\n");
    try {
      s.ChangeDir("../ZRBELEG");
      ADD_FAILURE() << "no failure";
    } catch (const TGPuttySFTPException& e) {
      EXPECT_EQ(e.what(), fall.erwartet);
    }
    EXPECT_EQ(s.LastMessages(), "eins\nzwei\n");  // checkpoints are not collected
  }
  EXPECT_EQ(checkpoints.size(), std::size(faelle));
}

TEST_F(SitzungRegeln, ConfigurationNamesIgnoreCase) {
  TTGPuttySFTP s(true, falscheBibliothek());
  s.setProxyPort(1080);
  s.SetStringConfigValue("Known_Hosts_File", "/tmp/kh");
  s.SetIntegerConfigValue("PROXY_TYPE", PROXY_SOCKS5);
  EXPECT_EQ(falsch.aufrufe,
            (std::vector<std::string>{"set_int 2 1080", "set_str 5 /tmp/kh", "set_int 0 2"}));
  try {
    s.SetIntegerConfigValue("proxy_typ", 1);
    ADD_FAILURE();
  } catch (const TGPuttySFTPException& e) {
    EXPECT_STREQ(e.what(), "Putty Conf Name Not Found: proxy_typ");
  }
}

// A stream that refuses (or throws) once it would grow beyond `grenze` bytes.
struct Plattenfehler : std::runtime_error {
  using std::runtime_error::runtime_error;
};
class TestStrom : public TransferStream {
 public:
  std::string daten;
  int64_t pos = 0, grenze = -1;
  bool werfen = false;
  int64_t position() override { return pos; }
  void seek(int64_t p) override { pos = p; }
  int64_t size() override { return static_cast<int64_t>(daten.size()); }
  int32_t read(char*, int32_t) override { return 0; }
  int32_t write(const char* b, int32_t n) override {
    if (grenze >= 0 && pos + n > grenze) {
      if (werfen) throw Plattenfehler("Platte voll");
      return 0;
    }
    daten.resize(std::max<size_t>(daten.size(), static_cast<size_t>(pos + n)));
    daten.replace(static_cast<size_t>(pos), static_cast<size_t>(n), b, static_cast<size_t>(n));
    pos += n;
    return n;
  }
};

TEST_F(SitzungRegeln, DownloadStreamP) {
  const std::string unbekannt = "DownloadStreamP: Unknown Error.\r\n";
  const std::string zeit = "Timeout error, no more data received.\r\n";
  const std::string abbruch = "Canceling ...\r\n", abgebrochen = unbekannt + abbruch;
  const std::string schreibfehler = "error while writing local stream";
  const struct {
    const char* fall;
    std::deque<std::string> skript;
    // build11; stau; anhaengen (to "xy"); voll, wirft (the stream refuses or throws beyond
    // 3 bytes); zu (open fails); abbrechen (OnProgress false); abbruch (OnProgress sets Aborted)
    std::string schalter;
    int64_t nachBytes;
    std::string inhalt, fehler, letzte;
    std::vector<int64_t> berichte;
  } faelle[] = {
      {"build 11 goes through the library", {"x"}, "build11", 0, "abcdefg", "", "", {7}},
      {"each block with data reported", {"abc", "", "|", "de"}, "", 0, "abcde", "", "", {3, 5}},
      {"reported after more than 5 bytes", {"abc", "defg", "hi"}, "", 5, "abcdefghi", "", "", {7}},
      {"append reads from the local length", {"abc"}, "anhaengen", 0, "xyabc", "", "", {3}},
      {"OnProgress cancels", {"abc", "d"}, "abbrechen", 0, "abc", abgebrochen, abbruch, {3}},
      {"Aborted ends quietly", {"abc", "|", "defg"}, "abbruch", 0, "abc", "", "", {3}},
      {"stall", {"ab"}, "stau", 0, "ab", unbekannt + zeit, zeit, {2}},
      {"stream refuses", {"abc", "d"}, "voll", 0, "abc", schreibfehler, "", {3}},
      {"stream throws", {"abc", "d"}, "wirft", 0, "abc", "Platte voll", "", {3}},
      {"open fails", {"abc"}, "zu", 0, "", unbekannt, "", {}},
  };
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.fall);
    const auto hat = [&](const char* w) { return fall.schalter.find(w) != std::string::npos; };
    falsch = Falsch{};
    falsch.build = hat("build11") ? 11 : 12;
    falsch.skript = fall.skript;
    falsch.stau = hat("stau");
    falsch.oeffnenScheitert = hat("zu");
    falsch.getfileDaten = "abcdefg";
    TTGPuttySFTP s(true, falscheBibliothek());
    s.setTimeoutTicks(1000);
    s.setProgressAfterBytes(fall.nachBytes);
    s.setProgressIntervalMS(1000000);
    std::vector<int64_t> berichte;
    s.OnProgress = [&](int64_t n, bool) {
      berichte.push_back(n);
      if (hat("abbruch")) s.setAborted(true);
      return !hat("abbrechen");
    };
    TestStrom strom;
    strom.daten = hat("anhaengen") ? "xy" : "";
    strom.grenze = hat("voll") || hat("wirft") ? 3 : -1;
    strom.werfen = hat("wirft");
    try {
      s.DownloadStreamP("a.pdf", strom, hat("anhaengen"));
      EXPECT_EQ(fall.fehler, "");
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), fall.fehler);
      EXPECT_EQ(dynamic_cast<const Plattenfehler*>(&e) != nullptr, hat("wirft"));
    }
    EXPECT_EQ(strom.daten, fall.inhalt);
    EXPECT_EQ(berichte, fall.berichte);
    if (!fall.letzte.empty()) {
      EXPECT_EQ(s.LastMessages(), fall.letzte);
    }
    EXPECT_EQ(falsch.freigegeben, falsch.geliefert);
    const bool blockweise = !hat("build11") && !hat("zu");
    EXPECT_EQ(anzahl(falsch.aufrufe, "getfile"), hat("build11") ? 1 : 0);
    EXPECT_EQ(anzahl(falsch.aufrufe, hat("anhaengen") ? "init 2" : "init 0"), blockweise);
    EXPECT_EQ(anzahl(falsch.aufrufe, "cleanup"), blockweise);
    EXPECT_EQ(anzahl(falsch.aufrufe, "closefile"), blockweise);
  }
}

TEST_F(SitzungRegeln, DownloadStreamPCheckpointsOfOneRun) {
  falsch.skript = {"abc", "", "|", "defg"};
  TTGPuttySFTP s(true, falscheBibliothek());
  std::vector<std::string> checkpoints, meldungen;
  s.OnCheckpoint = [&](const std::string& m, uint8_t) { checkpoints.push_back(m); };
  s.OnMessage = [&](const std::string& m, bool) { meldungen.push_back(m); };
  s.OnProgress = [](int64_t, bool) { return true; };
  TestStrom strom;
  s.DownloadStreamP("a.pdf", strom, false);
  // The empty block in the first pass is neither written nor reported.
  const std::vector<std::string> golden = {
      "psftp_getf", "psgetf30", "psgetf60",  "psgetf61", "psgetf62", "psgetf63", "psgetf70",
      "psgetf71",   "psgetf74", "psgetf75",  "psgetf80", "psgetf81", "psgetf83", "psgetf71",
      "psgetf80",   "psgetf83", "psgetf90",  "psgetf62", "psgetf63", "psgetf70", "psgetf71",
      "psgetf74",   "psgetf75", "psgetf80",  "psgetf81", "psgetf83", "psgetf90", "psgetf96",
      "psgetf97",   "psgetf98", "psgetf100", "psgetf103"};
  EXPECT_EQ(checkpoints, golden);
  ASSERT_EQ(meldungen.size(), 1u);
  EXPECT_EQ(meldungen[0].rfind("Downloaded 7 Bytes in ", 0), 0u) << meldungen[0];
  EXPECT_TRUE(meldungen[0].ends_with(" MB/sec.\r\n")) << meldungen[0];
}

}  // namespace
}  // namespace belvanto
