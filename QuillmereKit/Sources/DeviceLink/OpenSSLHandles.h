#pragma once

#include <memory>
#include <string>

#include <openssl/bn.h>
#include <openssl/decoder.h>
#include <openssl/encoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

namespace qm::openssl {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* handle) const noexcept { Free(handle); }
};

template <typename T, void (*Free)(T*)>
using Handle = std::unique_ptr<T, Deleter<T, Free>>;

using PKey = Handle<EVP_PKEY, EVP_PKEY_free>;
using PKeyContext = Handle<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using BigNum = Handle<BIGNUM, BN_free>;
using BigNumContext = Handle<BN_CTX, BN_CTX_free>;
using DecoderContext = Handle<OSSL_DECODER_CTX, OSSL_DECODER_CTX_free>;
using EncoderContext = Handle<OSSL_ENCODER_CTX, OSSL_ENCODER_CTX_free>;
using ParamBuilder = Handle<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using Params = Handle<OSSL_PARAM, OSSL_PARAM_free>;

// The oldest queued OpenSSL error as text, or "unknown error"; clears the queue.
inline std::string takeErrorText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "unknown error";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace qm::openssl
