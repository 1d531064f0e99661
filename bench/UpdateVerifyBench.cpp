// The signature check of a downloaded update, a 256 MiB file, against `sha512sum` on the same file:
// Ed25519 verification is mostly SHA-512 over the message, so the command line is its ceiling.
// Both read the file from the page cache; the ratio of the median times is printed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <sodium.h>

#include <benchmark/benchmark.h>

#include "MedianRateReporter.h"
#include "Updates/UpdateFile.h"

namespace {

constexpr std::size_t fileSize = std::size_t{256} * 1024 * 1024;
const std::string filePath = QM_BENCH_UPDATE;

struct SignedFile {
    QByteArray signature = QByteArray(crypto_sign_BYTES, 0);
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
        crypto_sign_detached(reinterpret_cast<unsigned char*>(file.signature.data()), nullptr,
                             bytes.data(), bytes.size(), secretKey);
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
        if (!qm::UpdateFile::verify(path, file.signature, file.publicKey)) {
            state.SkipWithError("the signature did not verify");
            return;
        }
    }
    setBytes(state);
}
BENCHMARK(BM_VerifyUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sha512sum(benchmark::State& state) {
    signedFile();
    const std::string command = "sha512sum '" + filePath + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sha512sum failed");
            return;
        }
    }
    setBytes(state);
}
BENCHMARK(BM_Sha512sum)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianRateReporter reporter("bytes_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.rate("BM_VerifyUpdate");
    const auto theirs = reporter.rate("BM_Sha512sum");
    if (ours && theirs) {
        std::cout << "verify " << *ours / 1e6 << " MB/s, sha512sum " << *theirs / 1e6
                  << " MB/s, time ratio verify / sha512sum " << *theirs / *ours << "\n";
    }
    benchmark::Shutdown();
    std::filesystem::remove(filePath);
}
