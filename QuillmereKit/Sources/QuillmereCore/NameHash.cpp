#include "QuillmereCore/NameHash.h"

#include <cstdint>

#include <fmt/format.h>

namespace qm {

std::string nameHashSuffix(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return fmt::format("-{:08x}", static_cast<std::uint32_t>(hash ^ (hash >> 32)));
}

}  // namespace qm
