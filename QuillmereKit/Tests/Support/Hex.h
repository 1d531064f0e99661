#pragma once

#include <string>
#include <string_view>

#include "QuillmereCore/Bytes.h"

namespace qm::test {

// "02 0A ff" -> {0x02, 0x0A, 0xFF}; spaces are ignored.
inline Bytes hex(std::string_view text) {
    Bytes out;
    std::string digits;
    for (char c : text) {
        if (c != ' ') {
            digits.push_back(c);
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

}  // namespace qm::test
