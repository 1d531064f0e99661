#pragma once

#include <string>

#include "QuillmereCore/Bytes.h"

namespace qm {

// Text from the phone: UTF-8 where every ill-formed sequence becomes one U+FFFD per maximal
// invalid subpart, so decoding never fails and valid text passes through unchanged.
std::string decodeUtf8Lossy(ByteView bytes);

}  // namespace qm
