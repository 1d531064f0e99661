#pragma once

#include <QString>
#include <memory>
#include <variant>

#include "QuillmereCore/FileDescriptor.h"

namespace qm {

// A folder of the app's own for the copy of the user's settings that Qt works on: in the user's
// runtime folder (private, and emptied at logout) where there is one, else in the temporary
// folder. It is locked while the app runs and removed when it goes; one that a killed run left
// is unlocked, and the next start removes it. Any thread; blocks for file I/O.
class ScratchFolder {
    struct Made {};

public:
    // Why no folder could be made: the place tried first and the system's word.
    struct Failure {
        QString place;
        QString reason;
    };

    static std::variant<std::unique_ptr<ScratchFolder>, Failure> make();

    ScratchFolder(Made, QString path, FileDescriptor lock);  // make()'s own
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    const QString& path() const noexcept { return path_; }

private:
    QString path_;
    FileDescriptor lock_;
};

}  // namespace qm
