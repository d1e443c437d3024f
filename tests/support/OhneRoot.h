// Root reads and writes files whatever their permissions say. Tests of
// unreadable files and read-only folders take that power away, in one of two
// ways: for a while in this process, where the owner's permission bits then
// bind; or for good in a death test's child, which becomes "nobody", so that
// only the permission bits for others count.
#pragma once

#include <filesystem>
#include <functional>

namespace belvanto::test {

// While this lives, the calling thread (and every thread it starts) lacks
// root's power over file permissions, so chmod 000 and read-only folders work
// as they do for the bookkeeper.
class OhneRootRechte {
 public:
  OhneRootRechte();
  ~OhneRootRechte();
  OhneRootRechte(const OhneRootRechte&) = delete;
  OhneRootRechte& operator=(const OhneRootRechte&) = delete;
  // Whether permissions now bind; a test skips when they do not.
  bool wirksam() const { return wirksam_; }

 private:
  bool geaendert_ = false;
  bool wirksam_ = false;
  unsigned alt_[2] = {0, 0};
};

// For death tests: runs `schritt` as "nobody" when root and ends the process
// with its exit code (90 when the switch fails).
[[noreturn]] void ohneSonderrechte(const std::function<int()>& schritt);

// Lets every user look into `ordner` (whatever the umask made of it), as
// "nobody" must in ohneSonderrechte.
void fuerAlleBetretbar(const std::filesystem::path& ordner);

}  // namespace belvanto::test
