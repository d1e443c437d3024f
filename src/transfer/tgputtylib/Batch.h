// Batches over many files of one folder on the one channel: instead of one
// file after the other, each waiting for its round trips, the next files are
// opened, several are read and earlier ones closed while answers are still on
// their way. Entries are reported strictly in their order, whatever order the
// answers come in, and every begun entry is reported, also after a failure.
#pragma once

#include <cstdint>

#include "Connection.h"
#include "State.h"
#include "tgputtylib.h"

namespace belvanto::tglib {

// tgsftp_getfiles: false when the connection failed (or `aborted` was set).
bool getFiles(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
              tg_batch_callback done);
// tgsftp_statfiles (check null) and tgsftp_rmfiles.
bool statOrRemoveFiles(LibState& st, Connection& c, int32_t count, tg_batch_entry* entries,
                       tg_batch_callback check, tg_batch_callback done);

}  // namespace belvanto::tglib
