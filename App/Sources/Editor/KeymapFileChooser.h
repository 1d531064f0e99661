#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

namespace qm {

// Asks the user for a keymaps file (JSON) to open or to save to. The answer comes later, on the
// GUI thread: the chosen path, or nothing when the user cancelled. GUI thread only.
class KeymapFileChooser {
public:
    using Answer = std::function<void(std::optional<std::filesystem::path>)>;

    virtual ~KeymapFileChooser() = default;

    virtual void chooseFileToOpen(Answer answer) = 0;
    virtual void chooseFileToSave(const QString& proposedName, Answer answer) = 0;
};

}  // namespace qm
