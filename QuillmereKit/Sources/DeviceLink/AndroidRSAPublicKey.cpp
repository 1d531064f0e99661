#include "DeviceLink/AndroidRSAPublicKey.h"

#include <algorithm>
#include <stdexcept>

#include "DeviceLink/AdbMessage.h"

namespace qm::AndroidRSAPublicKey {

namespace {

bool lessThan(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] < b[i];
        }
    }
    return false;
}

void subtract(std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::uint64_t difference = std::uint64_t(a[i]) - b[i] - borrow;
        a[i] = static_cast<std::uint32_t>(difference);
        borrow = (difference >> 32) & 1;
    }
}

}  // namespace

std::vector<std::uint32_t> words(ByteView fromBigEndian) {
    std::vector<std::uint32_t> out((fromBigEndian.size() + 3) / 4, 0);
    for (std::size_t k = 0; k < fromBigEndian.size(); ++k) {
        const std::uint8_t byte = fromBigEndian[fromBigEndian.size() - 1 - k];
        out[k / 4] |= std::uint32_t(byte) << (8 * (k % 4));
    }
    return out;
}

std::vector<std::uint32_t> montgomeryRR(const std::vector<std::uint32_t>& modulus) {
    const bool zero = std::all_of(modulus.begin(), modulus.end(), [](auto w) { return w == 0; });
    if (zero || (modulus.size() == 1 && modulus[0] == 1)) {
        throw std::invalid_argument("montgomeryRR needs a modulus above 1");
    }
    std::vector<std::uint32_t> value(modulus.size(), 0);
    value[0] = 1;
    for (std::size_t round = 0; round < 64 * modulus.size(); ++round) {
        std::uint32_t carry = 0;
        for (std::uint32_t& word : value) {
            const std::uint32_t out = word >> 31;
            word = word << 1 | carry;
            carry = out;
        }
        if (carry != 0 || !lessThan(value, modulus)) {
            subtract(value, modulus);
        }
    }
    return value;
}

std::uint32_t n0inv(std::uint32_t x) noexcept {
    std::uint32_t y = x;  // right to 3 bits for any odd x; each step doubles that
    for (int step = 0; step < 4; ++step) {
        y *= 2 - x * y;
    }
    return 0u - y;
}

Bytes encode(ByteView modulus, std::uint32_t exponent) {
    if (modulus.size() != modulusByteCount) {
        throw std::invalid_argument("the modulus must be 256 bytes");
    }
    const std::vector<std::uint32_t> n = words(modulus);
    const std::vector<std::uint32_t> rr = montgomeryRR(n);
    Bytes blob;
    blob.reserve(blobByteCount);
    LittleEndian::append(static_cast<std::uint32_t>(n.size()), blob);
    LittleEndian::append(n0inv(n[0]), blob);
    for (std::uint32_t word : n) {
        LittleEndian::append(word, blob);
    }
    for (std::uint32_t word : rr) {
        LittleEndian::append(word, blob);
    }
    LittleEndian::append(exponent, blob);
    return blob;
}

}  // namespace qm::AndroidRSAPublicKey
