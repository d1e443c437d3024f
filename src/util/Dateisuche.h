// File and folder names are matched without regard to letter case, as on the
// cooperative's and the bookkeeper's Windows systems: every lookup of a name
// below the working folder goes through here.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace belvanto {

// Wildcards "*" (any run of characters) and "?" (one character), letter case
// ignored; "*.*" matches every name, also one without a dot.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Files (any attributes, links to files included, no folders) directly in
// `folder` whose names match, in case-insensitive name order. A missing folder
// gives none.
std::vector<std::filesystem::path> findFiles(const std::filesystem::path& folder,
                                             std::string_view pattern);
std::optional<std::filesystem::path> findFirstFile(const std::filesystem::path& folder,
                                                   std::string_view pattern);
bool anyFileMatches(const std::filesystem::path& folder, std::string_view pattern);

// `base` / `relative`, each component of `relative` resolved to an existing
// entry of the same name in any letter case (the exact name first, then the
// first in case-insensitive order); components that do not exist stay as
// given. So "ZRAbr" finds an existing "ZRABR".
std::filesystem::path resolveNoCase(const std::filesystem::path& base,
                                    const std::filesystem::path& relative);

}  // namespace belvanto
