// Any bytes as a game library index: they decode to entries or to nothing, and whatever decodes
// encodes into an index that decodes to the same entries.
#include "FuzzCheck.h"
#include "QuillmereKit/Gaming/GameLibraryIndex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    namespace Index = qm::GameLibraryIndex;
    const auto entries = Index::decode(qm::ByteView(bytes, size));
    if (entries) {
        // An exception from here on escapes and is reported as a finding.
        qm::fuzz::check(Index::decode(qm::asBytes(Index::encode(*entries))) == entries);
    }
    return 0;
}
