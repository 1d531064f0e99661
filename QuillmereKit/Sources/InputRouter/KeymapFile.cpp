#include "InputRouter/KeymapFile.h"

#include "InputRouter/ProfileCodec.h"
#include "QuillmereCore/AtomicFile.h"

namespace qm {

namespace {

// A format-1 file reads under any usable layout name, so this one only tells whether it reads.
constexpr std::string_view probeLayoutName = "Main";

std::string_view caseName(KeymapFileErrorKind kind) {
    switch (kind) {
        case KeymapFileErrorKind::readFailed:
            return "readFailed";
        case KeymapFileErrorKind::invalidProfile:
            return "invalidProfile";
        case KeymapFileErrorKind::writeFailed:
            return "writeFailed";
        case KeymapFileErrorKind::refusedToReplace:
            break;
    }
    return "refusedToReplace";
}

KeymapFileError invalidProfile(const std::filesystem::path& file, const ProfileError& error,
                               std::error_code systemError = {}) {
    return KeymapFileError(KeymapFileErrorKind::invalidProfile, file,
                           file.string() + ": " + error.message(), error, systemError);
}

}  // namespace

KeymapFileError::KeymapFileError(Kind kind, std::filesystem::path path, const std::string& message,
                                 std::optional<ProfileError> profileError,
                                 std::error_code systemError)
    : TypedError(kind, message, caseWithText(caseName(kind), message)),
      path_(std::move(path)),
      profileError_(std::move(profileError)),
      systemError_(systemError) {}

std::optional<GameKeymaps> KeymapFile::read(const std::filesystem::path& file,
                                            std::string_view migratedLayoutName) {
    std::optional<Bytes> data;
    try {
        data = AtomicFile::read(file, maxSize);
    } catch (const std::filesystem::filesystem_error& error) {
        if (error.code() == std::errc::file_too_large) {
            throw invalidProfile(file,
                                 ProfileError::malformed("the file is larger than " +
                                                         std::to_string(maxSize >> 20) + " MiB"),
                                 error.code());
        }
        throw KeymapFileError(KeymapFileErrorKind::readFailed, file,
                              "cannot read " + file.string() + ": " + error.code().message(),
                              std::nullopt, error.code());
    }
    if (!data) {
        return std::nullopt;
    }
    try {
        return ProfileCodec::decodeKeymaps(*data, migratedLayoutName);
    } catch (const ProfileError& error) {
        throw invalidProfile(file, error);
    }
}

void KeymapFile::write(const std::filesystem::path& file, const GameKeymaps& keymaps) {
    Bytes data;
    try {
        data = ProfileCodec::encode(keymaps);
    } catch (const ProfileError& error) {
        throw invalidProfile(file, error);
    }
    try {
        read(file, probeLayoutName);
    } catch (const KeymapFileError& error) {
        throw KeymapFileError(KeymapFileErrorKind::refusedToReplace, file,
                              "will not replace a file that does not read: " + error.message(),
                              error.profileError());
    }
    try {
        AtomicFile::write(file, data, mode);
    } catch (const std::filesystem::filesystem_error& error) {
        throw KeymapFileError(KeymapFileErrorKind::writeFailed, file,
                              "cannot write " + file.string() + ": " + error.code().message(),
                              std::nullopt, error.code());
    }
}

}  // namespace qm
