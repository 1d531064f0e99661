// Input: the bytes of the host key file, read from disk as at start-up. It must give a
// 2048-bit RSA key that signs a token into 256 bytes and forms its public key, or fail with
// AdbKeyError invalidKeyFile; the file is never replaced, and no file is slow to refuse.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "DeviceLink/AdbKey.h"
#include "FuzzCheck.h"
#include "QuillmereCore/AtomicFile.h"

namespace {

using namespace qm;
using qm::fuzz::check;

// The key file's folder, removed as the fuzzer exits, after its runs or at its time limit.
struct KeyFolder {
    KeyFolder() {
        char made[] = "/tmp/fuzz-adb-key-XXXXXX";
        check(::mkdtemp(made) != nullptr);
        path = made;
    }
    ~KeyFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    KeyFolder(const KeyFolder&) = delete;
    KeyFolder& operator=(const KeyFolder&) = delete;

    std::filesystem::path path;
};

std::filesystem::path keyFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const KeyFolder folder;
    keyFile = folder.path / "adbkey";
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
