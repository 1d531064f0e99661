#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Keeps names apart that a length bound or a character rule made alike: "-" and 32 hex digits of
// the text's SHA-256, so that no one can make two texts share a name. Stored file names depend
// on it, so it never changes.
inline constexpr std::size_t nameHashSuffixLength = 33;
std::string nameHashSuffix(std::string_view text);

// The suffix names were given before: "-" and 8 hex digits (FNV-1a folded to 32 bits), which
// two chosen texts can share. Only for finding files stored under it.
inline constexpr std::size_t legacyNameHashSuffixLength = 9;
std::string legacyNameHashSuffix(std::string_view text);

}  // namespace qm
