#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Keeps names apart that a length bound or a character rule made alike: "-" and 8 hex digits of a
// stable hash of the text as it came (FNV-1a, folded to 32 bits). Stored file names depend on it,
// so it never changes.
inline constexpr std::size_t nameHashSuffixLength = 9;
std::string nameHashSuffix(std::string_view text);

}  // namespace qm
