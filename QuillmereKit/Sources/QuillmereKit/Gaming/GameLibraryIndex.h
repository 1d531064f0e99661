#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "QuillmereCore/Bytes.h"

// The "index.json" of one phone's game library cache: {"apps": [...], "version": 1}, the apps in
// the order saved. Pure; any thread.
namespace qm::GameLibraryIndex {

// One app of the index; its icon bytes live in a file of their own.
struct Entry {
    std::string packageName;
    std::string label;
    bool isGame = false;
    std::int64_t lastUsedMillis = 0;
    std::optional<std::string> iconFile;  // a name inside "icons"

    bool operator==(const Entry&) const = default;
};

inline constexpr std::int64_t version = 1;

// Keys sorted, indented; an entry without an icon has no "iconFile" key. Throws
// nlohmann::json::type_error for text that is not UTF-8.
std::string encode(const std::vector<Entry>& entries);

// Nothing when the bytes are not JSON, nest deeper than 64 levels, or lack a required key or
// hold a wrong type anywhere: one bad entry spoils the whole index. "version" is not compared;
// a missing or null "iconFile" is none; unknown keys are ignored.
std::optional<std::vector<Entry>> decode(ByteView bytes);

}  // namespace qm::GameLibraryIndex
