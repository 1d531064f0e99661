#include "QuillmereCore/NameHash.h"

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>

#include <fmt/format.h>
#include <openssl/evp.h>

namespace qm {

std::string nameHashSuffix(std::string_view text) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is unavailable");
    }
    const auto kept = std::span(digest).first((nameHashSuffixLength - 1) / 2);
    return fmt::format("-{:02x}", fmt::join(kept, ""));
}

std::string legacyNameHashSuffix(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return fmt::format("-{:08x}", static_cast<std::uint32_t>(hash ^ (hash >> 32)));
}

}  // namespace qm
