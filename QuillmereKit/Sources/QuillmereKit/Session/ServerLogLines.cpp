#include "QuillmereKit/Session/ServerLogLines.h"

#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

constexpr std::uint8_t lineFeed = 0x0A;

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The byte count of the sequence `lead` starts; 1 for a byte that starts none.
std::size_t sequenceLength(std::uint8_t lead) {
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        return 4;
    }
    return 1;
}

// Where a full buffer is cut: before its last character when that one is incomplete.
std::size_t cutPoint(ByteView bytes) {
    std::size_t lead = bytes.size();
    for (int back = 0; back < 4 && lead > 0; ++back) {
        --lead;
        if (!isContinuation(bytes[lead])) {
            const bool complete = lead + sequenceLength(bytes[lead]) <= bytes.size();
            return complete || lead == 0 ? bytes.size() : lead;
        }
    }
    return bytes.size();  // no character starts near the end: nothing to keep whole
}

}  // namespace

std::optional<std::string> ServerLogLines::push(std::uint8_t byte) {
    if (byte == lineFeed) {
        std::string line = UnicodeText::decodeUTF8(line_);
        line_.clear();
        return line;
    }
    line_.push_back(byte);
    if (line_.size() < maxLineBytes) {
        return std::nullopt;
    }
    const std::size_t cut = cutPoint(line_);
    std::string piece = UnicodeText::decodeUTF8(ByteView(line_).first(cut));
    line_.erase(line_.begin(), line_.begin() + static_cast<std::ptrdiff_t>(cut));
    return piece;
}

}  // namespace qm
