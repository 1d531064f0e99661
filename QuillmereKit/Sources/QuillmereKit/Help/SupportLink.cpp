#include "QuillmereKit/Help/SupportLink.h"

#include <algorithm>
#include <array>

namespace qm::SupportLink {

namespace {

// In the order of the cases.
constexpr std::array<std::string_view, 3> rawValues{"bug", "idea", "other"};

// The site keeps its Russian pages under "/ru".
QUrl inLanguage(QUrl url, bool russian) {
    if (!russian) {
        return url;
    }
    QString path = url.path(QUrl::FullyEncoded);
    if (!path.startsWith(QLatin1Char('/'))) {
        path.prepend(QLatin1Char('/'));
    }
    url.setPath(QStringLiteral("/ru") + path, QUrl::TolerantMode);
    return url;
}

// Form handlers read "+" as a space and "&", "=", "#" and "%" as syntax, so those are encoded
// along with everything a query cannot hold; the rest of what a query may hold stays readable.
QString queryValue(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value, "!$'()*,;:@/?"));
}

}  // namespace

std::string_view rawValue(Topic topic) noexcept {
    return rawValues[static_cast<std::size_t>(topic)];
}

std::optional<Topic> topicFromRawValue(std::string_view raw) noexcept {
    const auto found = std::find(rawValues.begin(), rawValues.end(), raw);
    if (found == rawValues.end()) {
        return std::nullopt;
    }
    return static_cast<Topic>(found - rawValues.begin());
}

QUrl quickFixes(const QUrl& base, bool russian) {
    return inLanguage(base, russian);
}

QUrl contact(const QUrl& base, const QString& appVersion, const QString& build,
             const QString& systemVersion, Topic topic, bool russian) {
    QUrl url = inLanguage(base, russian);
    const std::string_view topicName = rawValue(topic);
    url.setQuery(QStringLiteral("v=") +
                     queryValue(appVersion + QStringLiteral(" (") + build + QLatin1Char(')')) +
                     QStringLiteral("&os=") + queryValue(systemVersion) +
                     QStringLiteral("&topic=") +
                     QString::fromLatin1(topicName.data(), qsizetype(topicName.size())),
                 QUrl::StrictMode);
    url.setFragment(QStringLiteral("form"));
    return url;
}

}  // namespace qm::SupportLink
