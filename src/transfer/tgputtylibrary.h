// The SFTP library's functions as a table of pointers. The session reaches the
// library only through such a table, so a test can hand it a deliberately
// wrong library (an old build, other record sizes) that no real peer can show.
#pragma once

#include "transfer/tgputtylib/tgputtylib.h"

namespace belvanto {

struct TGPuttyLibrary {
  decltype(&::tggetstructsizes) tggetstructsizes;
  decltype(&::tgputtygetversions) tgputtygetversions;
  decltype(&::tggetlibrarycontextsize) tggetlibrarycontextsize;

  decltype(&::tgputty_initcontext) tgputty_initcontext;
  decltype(&::tgputtyfree) tgputtyfree;
  decltype(&::tgputty_getconfigarrays) tgputty_getconfigarrays;
  decltype(&::tgputty_setverbose) tgputty_setverbose;
  decltype(&::tgputty_setkeyfile) tgputty_setkeyfile;
  decltype(&::tgputty_conf_get_int) tgputty_conf_get_int;
  decltype(&::tgputty_conf_get_str) tgputty_conf_get_str;
  decltype(&::tgputty_conf_set_int) tgputty_conf_set_int;
  decltype(&::tgputty_conf_set_str) tgputty_conf_set_str;
  decltype(&::tgputty_conf_set_bool) tgputty_conf_set_bool;
  decltype(&::tgputty_setwaitcallback) tgputty_setwaitcallback;
  decltype(&::tgputty_geterrorkind) tgputty_geterrorkind;

  decltype(&::tgsftp_connect) tgsftp_connect;
  decltype(&::tgsftp_close) tgsftp_close;
  decltype(&::tgsftp_cd) tgsftp_cd;
  decltype(&::tgsftp_ls) tgsftp_ls;
  decltype(&::tgsftp_rm) tgsftp_rm;
  decltype(&::tgsftp_mkdir) tgsftp_mkdir;
  decltype(&::tgsftp_rmdir) tgsftp_rmdir;
  decltype(&::tgsftp_mv) tgsftp_mv;
  decltype(&::tgsftp_mvex) tgsftp_mvex;
  decltype(&::tgsftp_getfile) tgsftp_getfile;
  decltype(&::tgsftp_putfile) tgsftp_putfile;
  decltype(&::tgsftp_getstat) tgsftp_getstat;
  decltype(&::tgsftp_setstat) tgsftp_setstat;
  decltype(&::tgsftp_getfiles) tgsftp_getfiles;
  decltype(&::tgsftp_statfiles) tgsftp_statfiles;
  decltype(&::tgsftp_rmfiles) tgsftp_rmfiles;

  decltype(&::tgputty_openfile) tgputty_openfile;
  decltype(&::tgputty_closefile) tgputty_closefile;
  decltype(&::tgputty_xfer_download_init) tgputty_xfer_download_init;
  decltype(&::tgputty_xfer_upload_init) tgputty_xfer_upload_init;
  decltype(&::tgputty_xfer_download_preparequeue) tgputty_xfer_download_preparequeue;
  decltype(&::tgputty_xfer_download_data) tgputty_xfer_download_data;
  decltype(&::tgputty_xfer_upload_ready) tgputty_xfer_upload_ready;
  decltype(&::tgputty_xfer_upload_data) tgputty_xfer_upload_data;
  decltype(&::tgputty_xfer_done) tgputty_xfer_done;
  decltype(&::tgputty_xfer_ensuredone) tgputty_xfer_ensuredone;
  decltype(&::tgputty_xfer_set_error) tgputty_xfer_set_error;
  decltype(&::tgputty_xfer_cleanup) tgputty_xfer_cleanup;
  decltype(&::tgputty_sfree) tgputty_sfree;
};

// The exported functions of the shared library tgputtylib. Lives in a file of
// its own, the only one naming them, so that a program using only its own
// table does not need the shared library at link time.
const TGPuttyLibrary& realLibrary();

}  // namespace belvanto
