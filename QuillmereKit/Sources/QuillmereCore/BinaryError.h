#pragma once

#include <string>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class BinaryErrorKind { invalid, truncated };

class BinaryError : public TypedError<BinaryErrorKind> {
public:
    // A value that is not acceptable; the message names it.
    static BinaryError invalid(const std::string& message) {
        return BinaryError(Kind::invalid, message, caseWithText("invalid", message));
    }
    // Fewer bytes remain than the read needs.
    static BinaryError truncated() {
        return BinaryError(Kind::truncated, "the data is truncated", "truncated");
    }

private:
    using TypedError::TypedError;
};

}  // namespace qm
