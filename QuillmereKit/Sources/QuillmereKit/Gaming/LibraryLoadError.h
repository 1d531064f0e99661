#pragma once

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class LibraryLoadErrorKind { phoneDidNotRespond };

// Why the library could not ask the phone for its apps, apart from a session's failure.
class LibraryLoadError : public TypedError<LibraryLoadErrorKind> {
public:
    // The phone did not become ready for the app-list request in time.
    static LibraryLoadError phoneDidNotRespond() {
        return {Kind::phoneDidNotRespond, "phoneDidNotRespond"};
    }

private:
    using TypedError::TypedError;
};

}  // namespace qm
