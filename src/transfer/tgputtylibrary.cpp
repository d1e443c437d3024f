// The table of the shared library's own exported functions.
#include "transfer/tgputtylibrary.h"

namespace belvanto {

const TGPuttyLibrary& realLibrary() {
  static const TGPuttyLibrary lib{
      .tggetstructsizes = &::tggetstructsizes,
      .tgputtygetversions = &::tgputtygetversions,
      .tggetlibrarycontextsize = &::tggetlibrarycontextsize,
      .tgputty_initcontext = &::tgputty_initcontext,
      .tgputtyfree = &::tgputtyfree,
      .tgputty_getconfigarrays = &::tgputty_getconfigarrays,
      .tgputty_setverbose = &::tgputty_setverbose,
      .tgputty_setkeyfile = &::tgputty_setkeyfile,
      .tgputty_conf_get_int = &::tgputty_conf_get_int,
      .tgputty_conf_get_str = &::tgputty_conf_get_str,
      .tgputty_conf_set_int = &::tgputty_conf_set_int,
      .tgputty_conf_set_str = &::tgputty_conf_set_str,
      .tgputty_conf_set_bool = &::tgputty_conf_set_bool,
      .tgputty_setwaitcallback = &::tgputty_setwaitcallback,
      .tgputty_geterrorkind = &::tgputty_geterrorkind,
      .tgsftp_connect = &::tgsftp_connect,
      .tgsftp_close = &::tgsftp_close,
      .tgsftp_cd = &::tgsftp_cd,
      .tgsftp_ls = &::tgsftp_ls,
      .tgsftp_rm = &::tgsftp_rm,
      .tgsftp_mkdir = &::tgsftp_mkdir,
      .tgsftp_rmdir = &::tgsftp_rmdir,
      .tgsftp_mv = &::tgsftp_mv,
      .tgsftp_mvex = &::tgsftp_mvex,
      .tgsftp_getfile = &::tgsftp_getfile,
      .tgsftp_putfile = &::tgsftp_putfile,
      .tgsftp_getstat = &::tgsftp_getstat,
      .tgsftp_setstat = &::tgsftp_setstat,
      .tgsftp_getfiles = &::tgsftp_getfiles,
      .tgsftp_statfiles = &::tgsftp_statfiles,
      .tgsftp_rmfiles = &::tgsftp_rmfiles,
      .tgputty_openfile = &::tgputty_openfile,
      .tgputty_closefile = &::tgputty_closefile,
      .tgputty_xfer_download_init = &::tgputty_xfer_download_init,
      .tgputty_xfer_upload_init = &::tgputty_xfer_upload_init,
      .tgputty_xfer_download_preparequeue = &::tgputty_xfer_download_preparequeue,
      .tgputty_xfer_download_data = &::tgputty_xfer_download_data,
      .tgputty_xfer_upload_ready = &::tgputty_xfer_upload_ready,
      .tgputty_xfer_upload_data = &::tgputty_xfer_upload_data,
      .tgputty_xfer_done = &::tgputty_xfer_done,
      .tgputty_xfer_ensuredone = &::tgputty_xfer_ensuredone,
      .tgputty_xfer_set_error = &::tgputty_xfer_set_error,
      .tgputty_xfer_cleanup = &::tgputty_xfer_cleanup,
      .tgputty_sfree = &::tgputty_sfree,
  };
  return lib;
}

}  // namespace belvanto
