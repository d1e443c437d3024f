#include "support/ZipLesen.h"

#include <zip.h>

#include <memory>
#include <stdexcept>

namespace belvanto::test {

std::map<std::string, ZipEintrag> zipLesen(const std::filesystem::path& archiv) {
  int fehler = 0;
  std::unique_ptr<zip_t, decltype(&zip_discard)> zip(
      zip_open(archiv.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &fehler), &zip_discard);
  if (!zip) throw std::runtime_error("cannot open archive " + archiv.string());
  std::map<std::string, ZipEintrag> eintraege;
  const zip_int64_t anzahl = zip_get_num_entries(zip.get(), 0);
  for (zip_int64_t i = 0; i < anzahl; ++i) {
    zip_stat_t st;
    if (zip_stat_index(zip.get(), i, 0, &st) != 0) throw std::runtime_error("stat failed");
    ZipEintrag e;
    e.gespeichert = st.comp_method == ZIP_CM_STORE;
    e.inhalt.resize(st.size);
    if (st.size > 0) {
      std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(zip_fopen_index(zip.get(), i, 0),
                                                            &zip_fclose);
      if (!f || zip_fread(f.get(), e.inhalt.data(), st.size) != static_cast<zip_int64_t>(st.size))
        throw std::runtime_error("cannot read entry " + std::string(st.name));
    }
    eintraege.emplace(st.name, std::move(e));
  }
  return eintraege;
}

}  // namespace belvanto::test
