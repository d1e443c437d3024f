// The remote operations that need no transfer engine: folders, names,
// attributes, and opening and closing remote handles. Each returns false after
// reporting its failure (an SFTP status where the server sent one).
#pragma once

#include <string>

#include "Connection.h"
#include "State.h"
#include "tgputtylib.h"

namespace belvanto::tglib {

// A remote path relative to the current remote folder; absolute paths and
// the current folder itself (for null or empty) pass as they are.
std::string resolvePath(const LibState& st, const char* path);

// Checks a STATUS answer: OK is success, anything else is reported.
bool expectOk(LibState& st, const Reply& r, const std::string& what);
// Reports an answer that is neither the expected type nor a status.
bool unexpected(LibState& st, const Reply& r, const std::string& what);

bool changeDir(LibState& st, Connection& c, const std::string& dir);
bool listDir(LibState& st, Connection& c, const std::string& dir);
bool removeFile(LibState& st, Connection& c, const std::string& path);
bool makeDir(LibState& st, Connection& c, const std::string& path);
bool removeDir(LibState& st, Connection& c, const std::string& path);
bool renamePath(LibState& st, Connection& c, const std::string& from, const std::string& to,
                int32_t flags, bool extended);
bool getAttrs(LibState& st, Connection& c, const std::string& path, Attrs& out);
bool setAttrs(LibState& st, Connection& c, const std::string& path, const Attrs& attrs);

bool openHandle(LibState& st, Connection& c, const std::string& path, uint32_t pflags,
                const Attrs& attrs, std::string& handle);
bool closeHandle(LibState& st, Connection& c, const std::string& handle, const std::string& what);

void toC(const Attrs& a, fxp_attrs& out);
Attrs fromC(const fxp_attrs& in);

}  // namespace belvanto::tglib
