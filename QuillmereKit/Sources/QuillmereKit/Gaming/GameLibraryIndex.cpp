#include "QuillmereKit/Gaming/GameLibraryIndex.h"

#include <nlohmann/json.hpp>

#include "InputRouter/JsonNode.h"
#include "InputRouter/ProfileError.h"

namespace qm::GameLibraryIndex {

std::string encode(const std::vector<Entry>& entries) {
    // nlohmann's objects are ordered maps: the keys come out sorted.
    nlohmann::json apps = nlohmann::json::array();
    for (const Entry& entry : entries) {
        nlohmann::json app = {{"packageName", entry.packageName},
                              {"label", entry.label},
                              {"isGame", entry.isGame},
                              {"lastUsedMillis", entry.lastUsedMillis}};
        if (entry.iconFile) {
            app["iconFile"] = *entry.iconFile;
        }
        apps.push_back(std::move(app));
    }
    const nlohmann::json index = {{"version", version}, {"apps", std::move(apps)}};
    return index.dump(2);
}

std::optional<std::vector<Entry>> decode(ByteView bytes) {
    try {
        const nlohmann::json tree = JsonNode::parse(bytes);
        const JsonNode root(tree);
        root.member("version").integer();
        const JsonNode apps = root.member("apps");
        std::vector<Entry> entries;
        entries.reserve(apps.size());
        for (std::size_t i = 0; i < apps.size(); ++i) {
            const JsonNode app = apps.element(i);
            Entry& entry = entries.emplace_back();
            entry.packageName = app.member("packageName").string();
            entry.label = app.member("label").string();
            entry.isGame = app.member("isGame").boolean();
            entry.lastUsedMillis = app.member("lastUsedMillis").integer();
            if (const auto iconFile = app.optionalMember("iconFile")) {
                entry.iconFile = iconFile->string();
            }
        }
        return entries;
    } catch (const ProfileError&) {
        return std::nullopt;
    }
}

}  // namespace qm::GameLibraryIndex
