#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "Storage/Bundle.h"

namespace qm {

// One text of the licences sheet: a UTF-8 file "<id>.txt" in the bundle's "Licenses" folder or,
// failing that, at its top level. Any thread.
struct LicenseDocument {
    // The largest licence text read; the biggest shipped is some hundreds of KiB.
    static constexpr qint64 maxBytes = 4 * 1024 * 1024;

    QString id;
    QString title;

    // The sheet's documents, in its order: the notice, the device server's licence and changes,
    // the sharpening filter's, then each library the application links.
    static const std::vector<LicenseDocument>& all();

    // Nothing for a file that is missing, too large or not UTF-8.
    std::optional<QString> text(const Bundle& bundle) const;
};

}  // namespace qm
