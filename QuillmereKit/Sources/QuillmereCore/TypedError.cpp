#include "QuillmereCore/TypedError.h"

#include <fmt/format.h>

namespace qm {

std::string caseWithText(std::string_view name, std::string_view text) {
    std::string out;
    out.reserve(name.size() + text.size() + 4);
    out.append(name);
    out += "(\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    out += fmt::format("\\u{{{:X}}}", static_cast<unsigned char>(c));
                } else {
                    out += c;  // UTF-8 passes through unchanged
                }
        }
    }
    out += "\")";
    return out;
}

}  // namespace qm
