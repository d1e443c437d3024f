#include "support/ZipLesen.h"

#include <zip.h>

#include <stdexcept>

namespace belvanto::test {

namespace fs = std::filesystem;

std::map<std::string, ArchivEintrag> mitLibzipLesen(const fs::path& archiv) {
  int code = 0;
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!za) throw std::runtime_error("libzip cannot open " + archiv.string());
  std::map<std::string, ArchivEintrag> eintraege;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    ArchivEintrag e;
    e.methode = st.comp_method;
    e.dichteGroesse = st.comp_size;
    e.mtime = st.mtime;
    zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    if (!f) throw std::runtime_error(std::string("libzip cannot open entry ") + st.name);
    e.inhalt.resize(st.size);
    zip_int64_t n = zip_fread(f, e.inhalt.data(), st.size);
    char rest;
    // Reading past the end is where libzip compares the CRC.
    zip_int64_t ende = zip_fread(f, &rest, 1);
    zip_fclose(f);
    if (n != static_cast<zip_int64_t>(st.size) || ende != 0)
      throw std::runtime_error(std::string("libzip cannot read entry ") + st.name);
    eintraege[st.name] = std::move(e);
  }
  zip_discard(za);
  return eintraege;
}

}  // namespace belvanto::test
