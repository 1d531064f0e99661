#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/types.h>

#include "InputRouter/GameKeymaps.h"
#include "InputRouter/ProfileError.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

enum class KeymapFileErrorKind {
    readFailed,        // the system's error
    invalidProfile,    // the codec refused the document or the value
    writeFailed,       // the system's error; the old file is whole
    refusedToReplace,  // the file there does not read, so it is kept
};

// Names the file; the codec's error, where it was one, and the system's are carried unchanged.
class KeymapFileError : public TypedError<KeymapFileErrorKind> {
public:
    KeymapFileError(Kind kind, std::filesystem::path path, const std::string& message,
                    std::optional<ProfileError> profileError = std::nullopt,
                    std::error_code systemError = {});

    const std::filesystem::path& path() const noexcept { return path_; }
    const std::optional<ProfileError>& profileError() const noexcept { return profileError_; }
    // Why the system refused a read or a write; EFBIG for a file too large to read. Empty when
    // the system did not refuse.
    const std::error_code& systemError() const noexcept { return systemError_; }

private:
    std::filesystem::path path_;
    std::optional<ProfileError> profileError_;
    std::error_code systemError_;
};

// A game's keymaps in a file of their own, in format 2 (format 1 is read and migrated).
// Blocking file I/O; any thread, one writer per file.
struct KeymapFile {
    // Three times the largest keymaps the app writes (nine layouts of the most actions, 1.3 MB),
    // for files laid out by hand. A larger file is refused as invalid before it is read.
    static constexpr std::size_t maxSize = 4 * 1024 * 1024;
    static constexpr mode_t mode = 0644;

    // Nothing when there is no file. Never changes the file, a format-1 one included.
    static std::optional<GameKeymaps> read(const std::filesystem::path& file,
                                           std::string_view migratedLayoutName);

    // Validates and encodes, then replaces the file atomically. A file already there that does
    // not read (a newer format, a hand-broken one) is never replaced: the write is refused.
    static void write(const std::filesystem::path& file, const GameKeymaps& keymaps);
};

}  // namespace qm
