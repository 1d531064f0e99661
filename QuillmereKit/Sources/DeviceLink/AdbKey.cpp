#include "DeviceLink/AdbKey.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DeviceLink/AndroidRSAPublicKey.h"
#include "DeviceLink/DER.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/Base64.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/PrivateFolders.h"

namespace qm {

namespace {

// Far above any RSA-2048 key file; anything longer is not one.
constexpr std::size_t maxKeyFileSize = 64 * 1024;

// Whoever may write in the key's folder may put a key of their own in its place.
void warnIfFolderShared(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        return;
    }
    if (info.st_uid != ::geteuid()) {
        Log::adb().warn(
            "the host key's folder {} belongs to another user, who could replace the key",
            folder.string());
    } else if ((info.st_mode & 022) != 0) {
        Log::adb().warn(
            "the host key's folder {} is writable by other users, who could replace the key; "
            "run \u201Cchmod go-w {}\u201D",
            folder.string(), folder.string());
    }
}

// A key file others can read is made private at once: its key is the user's own and refusing it
// would stop every connection while adding no safety. Only when that fails is it refused.
void keepPrivate(int opened, const struct stat& info, const std::filesystem::path& file) {
    if ((info.st_mode & 077) == 0) {
        return;
    }
    if (::fchmod(opened, 0600) != 0) {
        throw AdbKeyError::unprotectedKeyFile(file.string(), std::strerror(errno));
    }
    Log::adb().warn("the host key file was readable by other users; it is now private");
}

// The PKCS#1 DER of the key pair or of its public half; nothing when OpenSSL cannot encode it.
std::optional<Bytes> encodeDER(EVP_PKEY* key, int selection) {
    const openssl::EncoderContext encoder(
        OSSL_ENCODER_CTX_new_for_pkey(key, selection, "DER", "type-specific", nullptr));
    unsigned char* data = nullptr;
    std::size_t length = 0;
    if (!encoder || OSSL_ENCODER_to_data(encoder.get(), &data, &length) != 1) {
        return std::nullopt;
    }
    Bytes der(data, data + length);
    OPENSSL_clear_free(data, length);  // it may hold the private numbers
    return der;
}

Bytes encodePrivateKeyDER(EVP_PKEY* key) {
    std::optional<Bytes> der = encodeDER(key, EVP_PKEY_KEYPAIR);
    if (!der) {
        throw AdbKeyError::generationFailed(openssl::takeErrorText());
    }
    return std::move(*der);
}

Bytes generatePrivateKeyDER() {
    const openssl::PKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t{2048}));
    if (!key) {
        throw AdbKeyError::generationFailed(openssl::takeErrorText());
    }
    return encodePrivateKeyDER(key.get());
}

openssl::PKey decodePrivateKey(ByteView der) {
    EVP_PKEY* raw = nullptr;
    const openssl::DecoderContext decoder(OSSL_DECODER_CTX_new_for_pkey(
        &raw, "DER", "type-specific", "RSA", EVP_PKEY_KEYPAIR, nullptr, nullptr));
    const unsigned char* data = der.data();
    std::size_t left = der.size();
    const bool decoded = decoder && OSSL_DECODER_from_data(decoder.get(), &data, &left) == 1;
    openssl::PKey key(raw);
    ERR_clear_error();
    // Checking the numbers of a far larger key takes long: its size is looked at first.
    if (!decoded || !key || left != 0 || !EVP_PKEY_is_a(key.get(), "RSA") ||
        EVP_PKEY_get_bits(key.get()) != int(AndroidRSAPublicKey::modulusByteCount * 8)) {
        throw AdbKeyError::invalidKeyFile();
    }
    // The decoder also takes other wrappings of a key; only the PKCS#1 structure itself, in
    // its one DER form, is a key file.
    try {
        if (encodePrivateKeyDER(key.get()) != Bytes(der.begin(), der.end())) {
            throw AdbKeyError::invalidKeyFile();
        }
    } catch (const AdbKeyError&) {
        throw AdbKeyError::invalidKeyFile();
    }
    // A file whose numbers do not belong together would sign nothing a phone accepts.
    const openssl::PKeyContext check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!check || EVP_PKEY_pairwise_check(check.get()) != 1) {
        ERR_clear_error();
        throw AdbKeyError::invalidKeyFile();
    }
    return key;
}

Bytes exportPublicKeyDER(EVP_PKEY* key) {
    std::optional<Bytes> der = encodeDER(key, EVP_PKEY_PUBLIC_KEY);
    if (!der) {
        ERR_clear_error();
        throw AdbKeyError::invalidKeyFile();
    }
    return std::move(*der);
}

}  // namespace

AdbKey AdbKey::loadOrCreate(const std::filesystem::path& file) {
    // Never through a link, whose target may be any other file of the user's. Non-blocking so
    // that a FIFO is refused, not waited on.
    const FileDescriptor opened(
        ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    const int openError = errno;
    warnIfFolderShared(file.parent_path());
    if (opened) {
        struct stat info {};
        if (::fstat(opened.get(), &info) == 0 && info.st_uid != ::geteuid()) {
            throw AdbKeyError::keyFileOfAnotherUser(file.string());
        }
        Bytes contents;
        try {
            contents = AtomicFile::read(opened.get(), maxKeyFileSize, file);
        } catch (const std::filesystem::filesystem_error&) {
            throw AdbKeyError::invalidKeyFile();
        }
        AdbKey key(contents);
        keepPrivate(opened.get(), info, file);
        return key;
    }
    struct stat info {};
    if (openError == ELOOP) {
        throw AdbKeyError::keyFileIsLink(file.string());
    }
    if (openError == EACCES && ::lstat(file.c_str(), &info) == 0 && info.st_uid != ::geteuid()) {
        throw AdbKeyError::keyFileOfAnotherUser(file.string());
    }
    if (openError != ENOENT && openError != ENOTDIR) {
        throw AdbKeyError::invalidKeyFile();
    }
    const Bytes der = generatePrivateKeyDER();
    AdbKey key(der);
    createPrivateFolders(file.parent_path());
    try {
        AtomicFile::write(file, der, 0600);
    } catch (const std::filesystem::filesystem_error& error) {
        throw AdbKeyError::generationFailed("cannot write " + file.string() + ": " +
                                            error.code().message());
    }
    return key;
}

AdbKey::AdbKey(ByteView privateKeyDER) : privateKey_(decodePrivateKey(privateKeyDER)) {
    const DER::RSAPublicKey publicKey =
        DER::parseRSAPublicKey(exportPublicKeyDER(privateKey_.get()));
    if (publicKey.modulus.size() != AndroidRSAPublicKey::modulusByteCount) {
        throw AdbKeyError::invalidKeyFile();
    }
    modulus_ = publicKey.modulus;
    exponent_ = publicKey.exponent;
}

Bytes AdbKey::sign(ByteView token) const {
    if (token.size() != tokenByteCount) {
        throw AdbKeyError::invalidToken(token.size());
    }
    const openssl::PKeyContext context(
        EVP_PKEY_CTX_new_from_pkey(nullptr, privateKey_.get(), nullptr));
    // The token is used as the SHA-1 digest itself: it is wrapped in the DigestInfo, not hashed.
    std::size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha1()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, token.data(), token.size()) != 1) {
        throw AdbKeyError::signingFailed(openssl::takeErrorText());
    }
    Bytes signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, token.data(), token.size()) != 1) {
        throw AdbKeyError::signingFailed(openssl::takeErrorText());
    }
    signature.resize(length);
    return signature;
}

Bytes AdbKey::androidPublicKey(std::string_view comment) const {
    const std::string text = base64(AndroidRSAPublicKey::encode(modulus_, exponent_));
    Bytes line;
    line.reserve(text.size() + 1 + comment.size() + 1);
    line.insert(line.end(), text.begin(), text.end());
    line.push_back(' ');
    line.insert(line.end(), comment.begin(), comment.end());
    line.push_back(0);
    return line;
}

}  // namespace qm
