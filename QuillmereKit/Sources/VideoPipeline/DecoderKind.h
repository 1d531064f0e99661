#pragma once

#include <string_view>

namespace qm {

// Which decoder turns a stream into pictures, as the log and the heads-up display name it.
enum class DecoderKind { software, vaapi };

constexpr std::string_view displayName(DecoderKind kind) noexcept {
    return kind == DecoderKind::vaapi ? "VAAPI" : "software";
}

}  // namespace qm
