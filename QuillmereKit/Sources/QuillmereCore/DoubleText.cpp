#include "QuillmereCore/DoubleText.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace qm {

std::string doubleText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // Shortest round-trip digits as d.ddde±XX, rearranged below when plain decimal reads better.
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = scientific.find('e');
    const std::size_t digitsAt = e + (scientific[e + 1] == '+' ? 2 : 1);
    int exponent = 0;
    std::from_chars(scientific.data() + digitsAt, end, exponent);
    if (exponent < -4 || std::fabs(value) > 0x1p53) {
        return std::string(scientific);
    }
    std::string digits;
    for (const char c : scientific.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    std::string text = std::signbit(value) ? "-" : "";
    if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
        return text;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() < whole) {
        digits.append(whole - digits.size(), '0');
    }
    text.append(digits, 0, whole);
    text += '.';
    text += digits.size() > whole ? digits.substr(whole) : "0";
    return text;
}

}  // namespace qm
