// Input: the bytes of the host key file, read from disk as at start-up. It must give a
// 2048-bit RSA key that signs a token into 256 bytes and forms its public key, or fail with
// AdbKeyError invalidKeyFile; the file is never replaced, and no file is slow to refuse.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "DeviceLink/AdbKey.h"
#include "FuzzCheck.h"
#include "QuillmereCore/AtomicFile.h"

namespace {

using namespace qm;
using qm::fuzz::check;

std::filesystem::path keyFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/fuzz-adb-key-XXXXXX";
    check(::mkdtemp(folder) != nullptr);
    keyFile = std::filesystem::path(folder) / "adbkey";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView bytes(data, size);
    std::ofstream(keyFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    try {
        const AdbKey key = AdbKey::loadOrCreate(keyFile);
        check(key.modulus().size() == 256);
        check(key.sign(Bytes(AdbKey::tokenByteCount, 7)).size() == 256);
        const Bytes publicKey = key.androidPublicKey("fuzz@host");
        check(!publicKey.empty() && publicKey.back() == 0);
    } catch (const AdbKeyError& error) {
        check(error.kind() == AdbKeyErrorKind::invalidKeyFile);
    }
    const std::optional<Bytes> after = AtomicFile::read(keyFile, size + 1);
    check(after && std::equal(after->begin(), after->end(), bytes.begin(), bytes.end()));
    return 0;
}
