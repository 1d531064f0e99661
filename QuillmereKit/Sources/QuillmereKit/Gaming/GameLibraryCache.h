#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ServerProtocol/ExtMessage.h"

namespace qm {

// The last known app list of each phone, with icons, so that the library fills at once:
// <root>/<serial>/index.json and <root>/<serial>/icons/<package>.png, serial and package passed
// through sanitize(). A plain value: each call does its file work on the caller's thread, and
// calls for one serial must not overlap.
class GameLibraryCache {
public:
    // A damaged cache is refused past these: real indexes stay far below, icons are a few KiB.
    static constexpr std::size_t maxIndexSize = 16 * 1024 * 1024;
    static constexpr std::size_t maxIconSize = 2 * 1024 * 1024;
    // Far above any phone's app count and icons: a damaged index naming one large icon for
    // every entry must not fill memory with copies of it.
    static constexpr std::size_t maxEntries = 10'000;
    static constexpr std::size_t maxIconBytesPerLoad = 64 * 1024 * 1024;

    // No file access; the first save creates the root.
    explicit GameLibraryCache(std::filesystem::path directory) : directory_(std::move(directory)) {}

    const std::filesystem::path& directory() const noexcept { return directory_; }

    // The phone's list in saved order; empty when there is none or its index is damaged in any
    // way. A folder named with the shorter hash of earlier versions is read when the phone has
    // none under its name now. Below the root no link is followed: a link where a folder, the
    // index or an icon belongs reads as none. An icon that is missing, too large, not a regular
    // file or not PNG gives empty bytes.
    // Only the first maxEntries entries are read, each icon file once, and an icon that would
    // take the load past maxIconBytesPerLoad gives empty bytes.
    std::vector<AppInfo> load(std::string_view serial) const noexcept;

    // Replaces the phone's list: every icon first, then the index, atomically each, then removes
    // whatever else the icons folder holds. Below the root no link is followed: a link where the
    // phone's folder or its icons folder belongs fails the save. Throws
    // std::filesystem::filesystem_error (or the JSON encoder's error) at the first step that fails;
    // the previous index then stays whole.
    void save(const std::vector<AppInfo>& apps, std::string_view serial) const;

    // The longest name sanitize() gives: room for a temporary file's suffix within the 255 bytes
    // of a file name.
    static constexpr std::size_t maxNameLength = 200;

    // One safe path component, at most maxNameLength - `room` long: every user-perceived
    // character outside [A-Za-z0-9._-] becomes a single "_", and "", "." and ".." get a "_" in
    // front. A text that had to change or be shortened ends in nameHashSuffix(), so that no two
    // texts share a name. Names it gives, and gave with the shorter hash, come back unchanged.
    static std::string sanitize(std::string_view text, std::size_t room = 0);

private:
    std::filesystem::path directory_;
};

}  // namespace qm
