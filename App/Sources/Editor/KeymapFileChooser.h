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

    // A file to save to, and whether the user agreed to replace the file there.
    struct SaveTarget {
        std::filesystem::path file;
        bool replace = false;

        bool operator==(const SaveTarget&) const = default;
    };
    using SaveAnswer = std::function<void(std::optional<SaveTarget>)>;

    virtual ~KeymapFileChooser() = default;

    virtual void chooseFileToOpen(Answer answer) = 0;
    virtual void chooseFileToSave(const QString& proposedName, SaveAnswer answer) = 0;
    // The save again, over `file` that came after it was chosen: asks whether to replace it.
    virtual void askToReplace(const std::filesystem::path& file, SaveAnswer answer) = 0;
    // Ends a pending request as its Cancel does: answered with nothing.
    virtual void reject() = 0;
};

}  // namespace qm
