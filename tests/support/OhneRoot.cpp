#include "support/OhneRoot.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace belvanto::test {

namespace {
constexpr unsigned kDacRechte = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
}

OhneRootRechte::OhneRootRechte() {
  __user_cap_header_struct kopf{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct daten[2]{};
  if (::syscall(SYS_capget, &kopf, daten) == 0) {
    alt_[0] = daten[0].effective;
    alt_[1] = daten[1].effective;
    daten[0].effective &= ~kDacRechte;
    geaendert_ = ::syscall(SYS_capset, &kopf, daten) == 0;
  }
  // Whatever the platform did: check that a file without permissions is unreadable.
  char vorlage[] = "/tmp/belvanto-rechte-XXXXXX";
  int fd = ::mkstemp(vorlage);
  if (fd >= 0) {
    ::close(fd);
    ::chmod(vorlage, 0);
    int probe = ::open(vorlage, O_RDONLY);
    wirksam_ = probe < 0;
    if (probe >= 0) ::close(probe);
    ::unlink(vorlage);
  }
}

OhneRootRechte::~OhneRootRechte() {
  if (!geaendert_) return;
  __user_cap_header_struct kopf{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct daten[2]{};
  if (::syscall(SYS_capget, &kopf, daten) != 0) return;
  daten[0].effective = alt_[0];
  daten[1].effective = alt_[1];
  ::syscall(SYS_capset, &kopf, daten);
}

void ohneSonderrechte(const std::function<int()>& schritt) {
  if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(90);
  std::_Exit(schritt());
}

void fuerAlleBetretbar(const std::filesystem::path& ordner) {
  using std::filesystem::perms;
  std::filesystem::permissions(ordner, perms::owner_all | perms::group_read | perms::group_exec |
                                           perms::others_read | perms::others_exec);
}

}  // namespace belvanto::test
