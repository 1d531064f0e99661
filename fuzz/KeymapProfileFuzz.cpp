// Any bytes as a keymap document, read both ways: each read gives a value or a ProfileError of
// one short line, and whatever reads writes back, without an error, into a document that reads
// as an equal value.
#include <algorithm>
#include <optional>
#include <string_view>

#include "FuzzCheck.h"
#include "InputRouter/ProfileCodec.h"

namespace {

template <typename Decode>
void checkRoundTrip(qm::ByteView data, Decode decode) {
    std::optional<decltype(decode(data))> value;
    try {
        value = decode(data);
    } catch (const qm::ProfileError& error) {
        // Shown in the editor's banner: one short line, whatever the document held.
        const std::string_view message = error.what();
        qm::fuzz::check(message.size() <= 4096 && std::ranges::none_of(message, [](char c) {
                            return static_cast<unsigned char>(c) < 0x20;
                        }));
        return;
    }
    // An exception from here on escapes and is reported as a finding.
    qm::fuzz::check(decode(qm::ProfileCodec::encode(*value)) == *value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const qm::ByteView data(bytes, size);
    checkRoundTrip(data, [](qm::ByteView d) { return qm::ProfileCodec::decode(d); });
    checkRoundTrip(data, [](qm::ByteView d) { return qm::ProfileCodec::decodeKeymaps(d, "Main"); });
    return 0;
}
