#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "QuillmereCore/Bytes.h"

namespace qm::AndroidRSAPublicKey {

inline constexpr std::size_t modulusByteCount = 256;
inline constexpr std::size_t blobByteCount = 524;

// The 524-byte key the phone stores: word count, n0inv, modulus, R² mod n, exponent, all
// little-endian. `modulus` is big-endian and 256 bytes long.
Bytes encode(ByteView modulus, std::uint32_t exponent);

// Word 0 is the least significant.
std::vector<std::uint32_t> words(ByteView fromBigEndian);
// 2^(64w) mod n for a w-word modulus n that is neither 0 nor 1.
std::vector<std::uint32_t> montgomeryRR(const std::vector<std::uint32_t>& modulus);
// -x^-1 mod 2^32 for an odd x.
std::uint32_t n0inv(std::uint32_t x) noexcept;

}  // namespace qm::AndroidRSAPublicKey
