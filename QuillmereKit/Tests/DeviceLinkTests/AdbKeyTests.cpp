#include <filesystem>
#include <fstream>

#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "DeviceLink/AdbKey.h"
#include "DeviceLink/AndroidRSAPublicKey.h"
#include "DeviceLink/DER.h"
#include "Support/Expect.h"
#include "Support/FakeAdbAuth.h"
#include "Support/LogSince.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

Bytes generateDER(std::size_t bits, const char* structure = "type-specific") {
    const openssl::PKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", bits));
    const openssl::EncoderContext encoder(
        OSSL_ENCODER_CTX_new_for_pkey(key.get(), EVP_PKEY_KEYPAIR, "DER", structure, nullptr));
    unsigned char* data = nullptr;
    std::size_t length = 0;
    EXPECT_EQ(OSSL_ENCODER_to_data(encoder.get(), &data, &length), 1);
    Bytes der(data, data + length);
    OPENSSL_free(data);
    return der;
}

// One generated key serves every test that does not need a fresh one.
const AdbKey& sharedKey() {
    static const AdbKey key(generateDER(2048));
    return key;
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, ByteView bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

class AdbKeyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("adbkey-test-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

TEST(AndroidRSAPublicKey, MontgomeryHelpersGiveKnownValues) {
    using namespace AndroidRSAPublicKey;
    EXPECT_EQ(n0inv(1), 0xFFFFFFFFu);
    EXPECT_EQ(n0inv(3), 0x55555555u);
    EXPECT_EQ(n0inv(0xFFFFFFFF), 1u);
    EXPECT_EQ(montgomeryRR({7}), std::vector<std::uint32_t>{2});
    EXPECT_THROW(montgomeryRR({1}), std::invalid_argument);
    EXPECT_THROW(montgomeryRR({0, 0}), std::invalid_argument);
    const Bytes bigEndian = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(words(bigEndian), (std::vector<std::uint32_t>{0x02030405, 0x01}));
}

TEST(AndroidRSAPublicKey, BlobFieldsMatchOpenSSLArithmetic) {
    const AdbKey& key = sharedKey();
    const Bytes blob = AndroidRSAPublicKey::encode(key.modulus(), key.exponent());
    ASSERT_EQ(blob.size(), 524u);
    EXPECT_EQ(key.exponent(), 65537u);
    // The fake phone recomputes n0inv and R^2 mod n with BIGNUM and compares.
    const auto decoded = test::FakeAdbAuth::decodePublicKey(key.androidPublicKey("me@pc"));
    ASSERT_TRUE(std::holds_alternative<test::FakeAdbAuth::PublicKey>(decoded))
        << std::get<std::string>(decoded);
    EXPECT_EQ(std::get<test::FakeAdbAuth::PublicKey>(decoded).comment, "me@pc");
    // And it notices when either field is off.
    for (std::size_t offset : {std::size_t{4}, std::size_t{264 + 17}}) {
        Bytes bad = blob;
        bad[offset] ^= 1;
        std::string line(701, '\0');  // room for the NUL that OpenSSL adds
        line.resize(std::size_t(
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(line.data()), bad.data(), 524)));
        line += " x";
        line.push_back('\0');
        const auto result = test::FakeAdbAuth::decodePublicKey(asBytes(line));
        EXPECT_TRUE(std::holds_alternative<std::string>(result)) << "offset " << offset;
    }
}

TEST(AdbKey, PublicKeyLineIsBase64SpaceCommentNul) {
    const Bytes line = sharedKey().androidPublicKey("");
    ASSERT_EQ(line.size(), 702u);
    EXPECT_EQ(line[699], '=');
    EXPECT_EQ(line[700], ' ');
    EXPECT_EQ(line[701], 0);
    const Bytes named = sharedKey().androidPublicKey("büro");
    EXPECT_EQ(asText(ByteView(named).subspan(701)), std::string_view("büro\0", 6));
}

TEST(AdbKey, SignatureOfATokenVerifiesAsAReadySha1Digest) {
    const AdbKey& key = sharedKey();
    const Bytes token = test::FakeAdbAuth::newToken();
    const Bytes signature = key.sign(token);
    ASSERT_EQ(signature.size(), 256u);

    auto decoded = test::FakeAdbAuth::decodePublicKey(key.androidPublicKey(""));
    openssl::PKey publicKey = std::move(std::get<test::FakeAdbAuth::PublicKey>(decoded).key);
    // Undoing the padding shows the SHA-1 DigestInfo around the token itself, unhashed.
    const openssl::PKeyContext context(
        EVP_PKEY_CTX_new_from_pkey(nullptr, publicKey.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_verify_recover_init(context.get()), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING), 1);
    Bytes recovered(256);
    std::size_t length = recovered.size();
    ASSERT_EQ(EVP_PKEY_verify_recover(context.get(), recovered.data(), &length, signature.data(),
                                      signature.size()),
              1);
    recovered.resize(length);
    Bytes expected = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E,
                      0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};
    expected.insert(expected.end(), token.begin(), token.end());
    EXPECT_EQ(recovered, expected);

    test::FakeAdbAuth phone;
    phone.trust(std::move(publicKey));
    EXPECT_TRUE(phone.verify(token, signature));
    EXPECT_FALSE(phone.verify(test::FakeAdbAuth::newToken(), signature));
}

TEST(AdbKey, OnlyTwentyByteTokensAreSigned) {
    for (std::size_t length : {0, 19, 21}) {
        try {
            sharedKey().sign(Bytes(length));
            ADD_FAILURE() << length;
        } catch (const AdbKeyError& error) {
            EXPECT_EQ(error, AdbKeyError::invalidToken(length));
        }
    }
}

TEST_F(AdbKeyFiles, FirstUseCreatesPrivateFolderAndFileThatLoadsAgain) {
    const fs::path file = folder_ / "Application Support" / "adbkey";
    const AdbKey created = AdbKey::loadOrCreate(file);
    EXPECT_EQ(modeOf(folder_), 0700u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
    // Only the key itself is left: no temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1);

    const Bytes der = readFile(file);
    ASSERT_FALSE(der.empty());
    EXPECT_EQ(der[0], 0x30);  // raw DER, no PEM armour
    const unsigned char* p = der.data();
    const openssl::PKey parsed(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, long(der.size())));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(EVP_PKEY_get_bits(parsed.get()), 2048);

    // A copy others could read is made private again; a folder where others could replace it is
    // warned of.
    fs::permissions(file, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    fs::permissions(file.parent_path(), fs::perms::group_write, fs::perm_options::add);
    const test::LogSince log;
    const AdbKey loaded = AdbKey::loadOrCreate(file);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(log.count("is writable by other users"), 1u);
    EXPECT_EQ(loaded.modulus(), created.modulus());
    EXPECT_EQ(loaded.exponent(), created.exponent());
    EXPECT_EQ(created.modulus().size(), 256u);
}

TEST_F(AdbKeyFiles, UnusableKeyFilesAreReportedAndLeftUntouched) {
    fs::create_directories(folder_);
    const Bytes good = generateDER(2048);
    const std::pair<std::string, Bytes> files[] = {
        {"1024-bit key", generateDER(1024)},
        {"PKCS#8 wrapping", generateDER(2048, "PrivateKeyInfo")},
        {"truncated", Bytes(good.begin(), good.begin() + long(good.size() / 2))},
        {"trailing bytes",
         [&] {
             Bytes longer = good;
             longer.push_back(0);
             return longer;
         }()},
        {"garbage", Bytes(1200, 0x42)},
        {"empty", Bytes()},
    };
    for (const auto& [name, contents] : files) {
        SCOPED_TRACE(name);
        const fs::path file = folder_ / "adbkey";
        writeFile(file, contents);
        EXPECT_EQ(test::thrown<AdbKeyError>([&] { AdbKey::loadOrCreate(file); }).kind(),
                  AdbKeyErrorKind::invalidKeyFile);
        EXPECT_EQ(readFile(file), contents);
    }
    EXPECT_EQ(test::thrown<AdbKeyError>([&] { AdbKey::loadOrCreate(folder_); }).kind(),
              AdbKeyErrorKind::invalidKeyFile);

    // A link, even to a key others may read, is no key file: what it points to stays as it was.
    const fs::path other = folder_ / "other";
    writeFile(other, good);
    fs::permissions(other, fs::perms(0644));
    fs::remove(folder_ / "adbkey");
    fs::create_symlink(other, folder_ / "adbkey");
    EXPECT_EQ(test::thrown<AdbKeyError>([&] { AdbKey::loadOrCreate(folder_ / "adbkey"); }).kind(),
              AdbKeyErrorKind::keyFileIsLink);
    EXPECT_EQ(modeOf(other), 0644u);

    // Nor is another user's file, which its owner could read or replace (only root can make one).
    if (::chown(other.c_str(), 65534, 65534) == 0) {
        EXPECT_EQ(test::thrown<AdbKeyError>([&] { AdbKey::loadOrCreate(other); }).kind(),
                  AdbKeyErrorKind::keyFileOfAnotherUser);
        EXPECT_EQ(modeOf(other), 0644u);
    }
}

TEST_F(AdbKeyFiles, FolderThatCannotBeMadeFailsWithTheFileSystemError) {
    fs::create_directories(folder_);
    writeFile(folder_ / "plain", Bytes{1});
    EXPECT_THROW(AdbKey::loadOrCreate(folder_ / "plain" / "sub" / "adbkey"), fs::filesystem_error);
}

// DER built by hand: SEQUENCE { INTEGER modulus, INTEGER exponent }.
Bytes derLength(std::size_t length) {
    if (length < 0x80) {
        return {std::uint8_t(length)};
    }
    return {0x82, std::uint8_t(length >> 8), std::uint8_t(length)};
}

Bytes element(std::uint8_t tag, const Bytes& content) {
    Bytes out = {tag};
    const Bytes length = derLength(content.size());
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes rsaPublicKey(const Bytes& modulus, const Bytes& exponent) {
    Bytes content = element(0x02, modulus);
    const Bytes e = element(0x02, exponent);
    content.insert(content.end(), e.begin(), e.end());
    return element(0x30, content);
}

DER::RSAPublicKey parse(const Bytes& der) {
    return DER::parseRSAPublicKey(der);
}

TEST(DER, ReadsModulusAndExponentWithoutLeadingZeros) {
    Bytes modulus(257, 0xC3);
    modulus[0] = 0x00;  // the sign byte of a high modulus
    const DER::RSAPublicKey key = parse(rsaPublicKey(modulus, {0x01, 0x00, 0x01}));
    EXPECT_EQ(key.modulus, Bytes(256, 0xC3));
    EXPECT_EQ(key.exponent, 65537u);
    EXPECT_EQ(parse(rsaPublicKey({0x05}, {0x00, 0x00, 0x03})).exponent, 3u);

    // Long form 0x81 0x80: 128 bytes; anything after the key is ignored.
    Bytes longForm = {0x30, 0x81, 0x80, 0x02, 0x7B};
    longForm.insert(longForm.end(), 123, 0x11);
    longForm.insert(longForm.end(), {0x02, 0x01, 0x03, 0xEE, 0xEE});
    EXPECT_EQ(parse(longForm).modulus.size(), 123u);
}

TEST(DER, MalformedInputIsAnInvalidKeyFile) {
    const Bytes cases[] = {
        {},
        {0x31, 0x00},                              // not a SEQUENCE
        {0x30, 0x80, 0x02, 0x01, 0x05},            // indefinite length
        {0x30, 0x84, 0x00, 0x00, 0x00, 0x03},      // four length bytes
        {0x30, 0x05, 0x02, 0x01, 0x05},            // runs past the end
        {0x30, 0x82, 0x00},                        // length cut short
        rsaPublicKey({0x00, 0x00}, {0x03}),        // empty modulus
        rsaPublicKey({0x05}, {0x01, 0, 0, 0, 1}),  // exponent over four bytes
        rsaPublicKey({0x05}, {0x00}),              // zero exponent
        element(0x30, element(0x02, {0x05})),      // no exponent
    };
    for (const Bytes& der : cases) {
        EXPECT_EQ(test::thrown<AdbKeyError>([&] { parse(der); }).kind(),
                  AdbKeyErrorKind::invalidKeyFile)
            << ::testing::PrintToString(der);
    }
}

}  // namespace
}  // namespace qm
