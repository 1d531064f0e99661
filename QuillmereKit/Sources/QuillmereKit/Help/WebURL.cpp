#include "QuillmereKit/Help/WebURL.h"

namespace qm {

std::optional<QUrl> webURLFrom(const QString& text) {
    // The scheme as written: parsing lower-cases it.
    if (!text.startsWith(QLatin1StringView("https:"))) {
        return std::nullopt;
    }
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

}  // namespace qm
