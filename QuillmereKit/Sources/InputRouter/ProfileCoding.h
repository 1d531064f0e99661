#pragma once

#include <cstdint>

#include <nlohmann/json.hpp>

#include "InputRouter/GameKeymaps.h"
#include "InputRouter/JsonNode.h"
#include "InputRouter/KeymapProfile.h"

// The two keymap documents as JSON trees. Format 1 holds one KeymapProfile; format 2 holds a
// GameKeymaps whose layouts carry their profile's members flat, without package or version.
// Readers take members in a fixed order and stop at the first bad one; they check shape only,
// the codec checks values. Pure; any thread.
namespace qm::ProfileCoding {

// A version other than 1 fails as unsupportedVersion before any other member is read.
KeymapProfile readProfile(const JsonNode& document);
// A version other than 2 fails likewise.
GameKeymaps readKeymaps(const JsonNode& document);
// The document's "version", which decides its format.
std::int64_t readVersion(const JsonNode& document);

nlohmann::json write(const KeymapProfile& profile);
nlohmann::json write(const GameKeymaps& keymaps);

}  // namespace qm::ProfileCoding
