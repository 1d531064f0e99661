#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace qm {

// An address the app opens or fetches from the web: https with a host, the scheme as written, in
// lower case. Anything else is none.
std::optional<QUrl> webURLFrom(const QString& text);

}  // namespace qm
