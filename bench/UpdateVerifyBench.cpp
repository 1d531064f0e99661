// The signature checks of a downloaded update, a 256 MiB file, against `sha512sum` and `sha256sum`
// on the same file: the file's Ed25519 signature is mostly SHA-512 over it and the version's needs
// its SHA-256, so the two commands are the ceiling. All read the file from the page cache; the
// ratio of the median times is printed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <sodium.h>

#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "Updates/UpdateFile.h"

namespace {

constexpr std::size_t fileSize = std::size_t{256} * 1024 * 1024;
const std::string filePath = QM_BENCH_UPDATE;

struct SignedFile {
    qm::UpdateOffer offer;
    QByteArray publicKey = QByteArray(crypto_sign_PUBLICKEYBYTES, 0);
};

const SignedFile& signedFile() {
    static const SignedFile made = [] {
        if (sodium_init() < 0) {
            std::abort();
        }
        std::vector<unsigned char> bytes(fileSize);
        randombytes_buf(bytes.data(), bytes.size());
        std::ofstream(filePath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        SignedFile file;
        unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
        crypto_sign_keypair(reinterpret_cast<unsigned char*>(file.publicKey.data()), secretKey);
        const auto sign = [&](const unsigned char* message, std::size_t size) {
            QByteArray signature(crypto_sign_BYTES, 0);
            crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                                 message, size, secretKey);
            return signature;
        };
        QByteArray digest(crypto_hash_sha256_BYTES, 0);
        crypto_hash_sha256(reinterpret_cast<unsigned char*>(digest.data()), bytes.data(),
                           bytes.size());
        file.offer.versionText = QStringLiteral("2");
        const QByteArray message = qm::UpdateFile::versionMessage(file.offer.versionText, digest);
        file.offer.signature = sign(bytes.data(), bytes.size());
        file.offer.versionSignature =
            sign(reinterpret_cast<const unsigned char*>(message.constData()),
                 static_cast<std::size_t>(message.size()));
        return file;
    }();
    return made;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileSize));
}

void BM_VerifyUpdate(benchmark::State& state) {
    const SignedFile& file = signedFile();
    const QString path = QString::fromStdString(filePath);
    for (auto _ : state) {
        if (!qm::UpdateFile::verify(path, file.offer, file.publicKey)) {
            state.SkipWithError("the signature did not verify");
            return;
        }
    }
    setBytes(state);
}
BENCHMARK(BM_VerifyUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HashSums(benchmark::State& state) {
    signedFile();
    const std::string command =
        "sha512sum '" + filePath + "' >/dev/null && sha256sum '" + filePath + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sha512sum or sha256sum failed");
            return;
        }
    }
    setBytes(state);
}
BENCHMARK(BM_HashSums)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.median("BM_VerifyUpdate", "bytes_per_second");
    const auto theirs = reporter.median("BM_HashSums", "bytes_per_second");
    if (ours && theirs) {
        std::cout << "verify " << *ours / 1e6 << " MB/s, sha512sum and sha256sum " << *theirs / 1e6
                  << " MB/s, time ratio verify / the sums " << *theirs / *ours << "\n";
    }
    benchmark::Shutdown();
    std::filesystem::remove(filePath);
}
