#include "Support/FakeAdbAuth.h"

#include <stdexcept>

#include <openssl/core_names.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace qm::test {

namespace {

constexpr std::size_t base64Length = 700;
constexpr std::size_t blobLength = 524;
constexpr std::size_t wordBytes = 256;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

openssl::BigNum fromLittleEndian(const std::uint8_t* p, std::size_t count) {
    return openssl::BigNum(BN_lebin2bn(p, static_cast<int>(count), nullptr));
}

// Checks n0inv and R^2 mod n against OpenSSL's own arithmetic.
std::string checkMontgomeryFields(const BIGNUM* n, std::uint32_t n0inv, const std::uint8_t* rr) {
    const openssl::BigNumContext context(BN_CTX_new());
    const openssl::BigNum word(BN_new()), low(BN_new()), inverse(BN_new()), r2(BN_new()),
        expected(BN_new());
    BN_set_word(word.get(), 1);
    BN_lshift(word.get(), word.get(), 32);
    BN_nnmod(low.get(), n, word.get(), context.get());
    if (!BN_mod_inverse(inverse.get(), low.get(), word.get(), context.get())) {
        return "the modulus is even";
    }
    BN_sub(inverse.get(), word.get(), inverse.get());
    if (BN_get_word(inverse.get()) != n0inv) {
        return "n0inv is not -n^-1 mod 2^32";
    }
    BN_set_word(r2.get(), 1);
    BN_lshift(r2.get(), r2.get(), 4096);
    BN_nnmod(expected.get(), r2.get(), n, context.get());
    Bytes expectedBytes(wordBytes);
    BN_bn2lebinpad(expected.get(), expectedBytes.data(), static_cast<int>(wordBytes));
    if (!std::equal(expectedBytes.begin(), expectedBytes.end(), rr)) {
        return "R^2 mod n is wrong";
    }
    return {};
}

openssl::PKey rsaPublicKey(const BIGNUM* n, std::uint32_t e) {
    const openssl::BigNum exponent(BN_new());
    BN_set_word(exponent.get(), e);
    const openssl::ParamBuilder builder(OSSL_PARAM_BLD_new());
    OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, exponent.get());
    const openssl::Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    const openssl::PKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        throw std::runtime_error("OpenSSL refused the public key: " + openssl::takeErrorText());
    }
    return openssl::PKey(key);
}

}  // namespace

Bytes FakeAdbAuth::newToken() {
    Bytes token(20);
    if (RAND_bytes(token.data(), static_cast<int>(token.size())) != 1) {
        throw std::runtime_error("no random bytes: " + openssl::takeErrorText());
    }
    return token;
}

std::variant<FakeAdbAuth::PublicKey, std::string> FakeAdbAuth::decodePublicKey(ByteView line) {
    if (line.empty() || line.back() != 0) {
        return "the public key does not end in a NUL";
    }
    const std::string text(asText(line.first(line.size() - 1)));
    if (text.find('\0') != std::string::npos) {
        return "the public key holds a NUL before its end";
    }
    if (text.size() < base64Length + 1 || text[base64Length] != ' ') {
        return "the public key is not 700 base64 characters and a space";
    }
    std::array<std::uint8_t, base64Length / 4 * 3> blob{};
    const int decoded =
        EVP_DecodeBlock(blob.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(base64Length));
    const std::size_t padding =
        std::size_t(text[base64Length - 1] == '=') + std::size_t(text[base64Length - 2] == '=');
    if (decoded < 0 || std::size_t(decoded) - padding != blobLength) {
        ERR_clear_error();
        return "the public key is not base64 of 524 bytes";
    }
    if (le32(blob.data()) != 64) {
        return "the public key's word count is not 64";
    }
    const openssl::BigNum n = fromLittleEndian(blob.data() + 8, wordBytes);
    if (BN_num_bits(n.get()) != 2048) {
        return "the modulus is not 2048 bits";
    }
    if (std::string problem =
            checkMontgomeryFields(n.get(), le32(blob.data() + 4), blob.data() + 8 + wordBytes);
        !problem.empty()) {
        return problem;
    }
    const std::uint32_t exponent = le32(blob.data() + 8 + 2 * wordBytes);
    if (exponent != 3 && exponent != 65537) {
        return "the exponent is " + std::to_string(exponent) + ", not 3 or 65537";
    }
    return PublicKey{rsaPublicKey(n.get(), exponent), text.substr(base64Length + 1),
                     Bytes(line.begin(), line.end())};
}

void FakeAdbAuth::trust(openssl::PKey key) {
    std::lock_guard lock(mutex_);
    trusted_.push_back(std::move(key));
}

std::size_t FakeAdbAuth::trustedCount() const {
    std::lock_guard lock(mutex_);
    return trusted_.size();
}

bool FakeAdbAuth::verify(ByteView token, ByteView signature) const {
    std::lock_guard lock(mutex_);
    for (const openssl::PKey& key : trusted_) {
        const openssl::PKeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
        const bool valid = context && EVP_PKEY_verify_init(context.get()) == 1 &&
                           EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
                           EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha1()) == 1 &&
                           EVP_PKEY_verify(context.get(), signature.data(), signature.size(),
                                           token.data(), token.size()) == 1;
        ERR_clear_error();
        if (valid) {
            return true;
        }
    }
    return false;
}

}  // namespace qm::test
