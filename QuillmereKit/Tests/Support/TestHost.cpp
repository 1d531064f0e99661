#include "Support/TestHost.h"

#include <fstream>

namespace qm::test {

namespace {

const Bytes& testHostKeyDER() {
    static const Bytes der = [] {
        const openssl::PKey generated(
            EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t{2048}));
        const openssl::EncoderContext encoder(OSSL_ENCODER_CTX_new_for_pkey(
            generated.get(), EVP_PKEY_KEYPAIR, "DER", "type-specific", nullptr));
        unsigned char* data = nullptr;
        std::size_t length = 0;
        OSSL_ENCODER_to_data(encoder.get(), &data, &length);
        Bytes encoded(data, data + length);
        OPENSSL_free(data);
        return encoded;
    }();
    return der;
}

}  // namespace

std::shared_ptr<const AdbKey> testHostKey() {
    static const std::shared_ptr<const AdbKey> key =
        std::make_shared<const AdbKey>(testHostKeyDER());
    return key;
}

void writeTestHostKey(const std::filesystem::path& file) {
    const Bytes& der = testHostKeyDER();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(der.data()), static_cast<std::streamsize>(der.size()));
}

std::shared_ptr<AdbConnection> makeHost(FakePhone& phone,
                                        AdbConnection::TransportFailureHandler onFailure,
                                        AdbConnectionTimings timings) {
    return AdbConnection::create(phone.hostTransport(), testHostKey(), "tester@desk",
                                 std::move(onFailure), timings);
}

std::shared_ptr<AdbConnection> connectedHost(FakePhone& phone,
                                             AdbConnection::TransportFailureHandler onFailure,
                                             AdbConnectionTimings timings) {
    phone.adb().trust(*testHostKey());
    auto host = makeHost(phone, std::move(onFailure), timings);
    host->connect({});
    return host;
}

}  // namespace qm::test
