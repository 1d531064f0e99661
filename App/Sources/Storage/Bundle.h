#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qm {

// The application's read-only files and its Info.json: the folder share/vantorel beside the
// executable's bin when installed, the build tree's copy beside the executable in a build.
// Reads Info.json once, when made; then a value, any thread.
class Bundle {
public:
    // A larger Info.json is not this application's.
    static constexpr qint64 maxInfoSize = 64 * 1024;

    explicit Bundle(QString root);
    // The running application's bundle.
    static Bundle main();
    // The bundle at `root`, or the running application's for an empty root.
    static Bundle at(const QString& root);

    const QString& root() const noexcept { return root_; }

    // The path of an existing file "name.extension" in the subfolder; nothing when it is missing.
    std::optional<QString> path(QStringView name, QStringView extension,
                                QStringView subfolder = {}) const;
    // A text value of Info.json; nothing when the file, the key or a text value is missing.
    std::optional<QString> infoString(std::string_view key) const;
    // The whole Info.json; null when it is missing or not an object.
    const nlohmann::json& info() const noexcept { return info_; }

private:
    QString root_;
    nlohmann::json info_;
};

}  // namespace qm
