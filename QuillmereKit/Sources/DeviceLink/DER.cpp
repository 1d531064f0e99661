#include "DeviceLink/DER.h"

#include "DeviceLink/AdbKeyError.h"

namespace qm::DER {

namespace {

class Reader {
public:
    explicit Reader(ByteView bytes) : bytes_(bytes) {}

    ByteView element(std::uint8_t tag) {
        if (byte() != tag) {
            throw AdbKeyError::invalidKeyFile();
        }
        const std::size_t length = this->length();
        if (length > bytes_.size() - offset_) {
            throw AdbKeyError::invalidKeyFile();
        }
        const ByteView content = bytes_.subspan(offset_, length);
        offset_ += length;
        return content;
    }

private:
    std::uint8_t byte() {
        if (offset_ == bytes_.size()) {
            throw AdbKeyError::invalidKeyFile();
        }
        return bytes_[offset_++];
    }

    std::size_t length() {
        const std::uint8_t first = byte();
        if (first < 0x80) {
            return first;
        }
        // Long form of at most three bytes; the indefinite form (0x80) has no place in DER.
        const int count = first & 0x7F;
        if (count < 1 || count > 3) {
            throw AdbKeyError::invalidKeyFile();
        }
        std::size_t value = 0;
        for (int i = 0; i < count; ++i) {
            value = value << 8 | byte();
        }
        return value;
    }

    ByteView bytes_;
    std::size_t offset_ = 0;
};

ByteView withoutLeadingZeros(ByteView bytes) {
    while (!bytes.empty() && bytes.front() == 0) {
        bytes = bytes.subspan(1);
    }
    return bytes;
}

}  // namespace

RSAPublicKey parseRSAPublicKey(ByteView der) {
    Reader content(Reader(der).element(0x30));
    const ByteView modulus = withoutLeadingZeros(content.element(0x02));
    const ByteView exponent = withoutLeadingZeros(content.element(0x02));
    if (modulus.empty() || exponent.empty() || exponent.size() > 4) {
        throw AdbKeyError::invalidKeyFile();
    }
    RSAPublicKey key{Bytes(modulus.begin(), modulus.end()), 0};
    for (std::uint8_t b : exponent) {
        key.exponent = key.exponent << 8 | b;
    }
    return key;
}

}  // namespace qm::DER
