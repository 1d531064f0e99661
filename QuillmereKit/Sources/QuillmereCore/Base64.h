#pragma once

#include <string>

#include "QuillmereCore/Bytes.h"

namespace qm {

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks). Pure; any thread.
std::string base64(ByteView bytes);

}  // namespace qm
