// The SFTP client as a server sending any bytes meets it: the input is what
// the server sends on the channel, and the library's real operations run on
// it, down to its read path and the local files of downloads: a folder
// change, a listing, a download into a file, a batch of downloads, a batch of
// LSTATs and removes (the first byte picks one). Besides crashes and sanitizer
// reports it checks that no download leaves a temporary file, and that a
// failed one leaves no local file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "Connection.h"
#include "Sftp.h"
#include "State.h"
#include "tgputtylib.h"

namespace {

using namespace belvanto::tglib;
namespace fs = std::filesystem;

// The server: the input in pieces of varying size, then the end of the channel.
class Server : public KanalIo {
 public:
  Server(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  int lesen(uint8_t* ziel, uint32_t n, int) override {
    if (pos_ >= n_) return 0;
    const size_t k = std::min<size_t>({n, n_ - pos_, 1 + (pos_ * 7919 + n_) % 3000});
    std::memcpy(ziel, d_ + pos_, k);
    pos_ += k;
    return static_cast<int>(k);
  }
  bool zuEnde() override { return pos_ >= n_; }
  uint32_t fenster() override { return 1u << 20; }
  int schreiben(const uint8_t*, uint32_t n) override { return static_cast<int>(n); }
  std::string fehler() override { return "end of the test input"; }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t pos_ = 0;
};

bool nurGanzes(int32_t, tg_batch_entry*, TTGLibraryContext*) { return true; }

const fs::path& ordner() {
  static const fs::path o = [] {
    char muster[] = "/dev/shm/fuzz-sftp-XXXXXX";
    const char* d = ::mkdtemp(muster);
    if (!d) std::abort();
    return fs::path(d);
  }();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t wahl = data[0] % 6;
  TTGLibraryContext ctx{};
  ctx.structsize = sizeof ctx;
  ctx.timeoutticks = 60000;
  ctx.connectiontimeoutticks = 60000;
  ctx.ls_callback = [](const fxp_names* n, TTGLibraryContext*) {
    std::size_t laenge = 0;
    for (int32_t i = 0; i < n->nnames; ++i)
      laenge += std::strlen(n->names[i].filename) + std::strlen(n->names[i].longname);
    return laenge != SIZE_MAX;
  };
  if (tgputty_initcontext(false, &ctx) != 0) std::abort();
  LibState* st = stateOf(&ctx);
  st->conn = Connection::ueberKanal(
      *st, std::make_unique<SftpChannel>(*st, std::make_unique<Server>(data + 1, size - 1)));
  st->setPwd("/home");

  fs::remove_all(ordner());
  fs::create_directories(ordner());
  const std::string a = (ordner() / "a.pdf").string(), b = (ordner() / "b.pdf").string();
  tg_batch_entry dateien[3] = {{"a.pdf", a.c_str(), UINT64_MAX, 0, 0, 0, {}, 0},
                               {"b.pdf", b.c_str(), 100, 0, 0, 0, {}, 0},
                               {"../c.pdf", a.c_str(), 5, 0, 0, 0, {}, 0}};
  bool geholt = false;
  switch (wahl) {
    case 0:
      tgsftp_cd("../ZRBELEG", &ctx);
      break;
    case 1:
      tgsftp_ls(".", &ctx);
      break;
    case 2:
      geholt = tgsftp_getfile("a.pdf", a.c_str(), false, &ctx) == 1;
      if (!geholt && fs::exists(a)) std::abort();
      break;
    case 3:
      tgsftp_getfiles(3, dateien, nullptr, &ctx);
      for (const auto& e : dateien)
        if (e.result == TG_BATCH_DONE && e.bytes > e.maxsize) std::abort();
      break;
    case 4:
      tgsftp_statfiles(2, dateien, nullptr, &ctx);
      break;
    case 5:
      tgsftp_rmfiles(3, dateien, nurGanzes, nullptr, &ctx);
      break;
  }
  for (const auto& e : fs::directory_iterator(ordner()))
    if (e.path().filename().string().find(".part-") != std::string::npos) std::abort();
  tgputtyfree(&ctx);
  return 0;
}
