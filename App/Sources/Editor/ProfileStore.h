#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "InputRouter/GameKeymaps.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

enum class ProfileStoreErrorKind { invalidPackageName };

// A package name that cannot become a file name; it carries the refused name.
class ProfileStoreError : public TypedError<ProfileStoreErrorKind> {
public:
    static ProfileStoreError invalidPackageName(std::string name);

    const std::string& name() const noexcept { return name_; }

private:
    ProfileStoreError(Kind kind, const std::string& message, std::string caseText, std::string name)
        : TypedError(kind, message, std::move(caseText)), name_(std::move(name)) {}

    std::string name_;
};

// The keymaps of every game, one file "<package>.json" each in one folder; a package name too long
// for a file name is cut and ends in a hash. Package names come from the phone, so each is checked
// before it becomes a file name, before any disk access. Blocking file I/O on the caller's thread;
// the files are small and bounded by the keymap file's limit.
struct ProfileStore {
    std::filesystem::path directory;

    // "Profiles" in the application's data folder; nothing when the system names none. The
    // folder is made by the first save.
    static std::optional<std::filesystem::path> defaultDirectory();

    std::filesystem::path fileURL(const std::string& package) const;
    // Nothing when the game has no file. The keymaps come bound to `package` whatever package the
    // file names, so a copied file is saved back as this game's. A format-1 file is read as one
    // layout named `migratedLayoutName` and left as it is. A long name's file stored under the
    // shorter hash of earlier versions is read when there is none under its name now and it
    // names this package, and is then saved under the name now.
    std::optional<GameKeymaps> loadKeymaps(const std::string& package,
                                           std::string_view migratedLayoutName) const;
    // Validates, makes the folder (0700) and replaces the file atomically. A file there that does
    // not decode (a newer format, a broken one) is kept as "<package>.json.bak" and restored when
    // the write fails; one that cannot be read at all fails the save.
    void save(const GameKeymaps& keymaps) const;
    // The game's file, and under the earlier name of a long one the file that names this
    // package. No file is no failure.
    void remove(const std::string& package) const;

private:
    std::filesystem::path earlierFileURL(const std::string& package) const;
    // The game's keymaps under the earlier name, when the file there names this package.
    std::optional<GameKeymaps> readEarlierFile(const std::string& package,
                                               std::string_view migratedLayoutName) const;
};

}  // namespace qm
