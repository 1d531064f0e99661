#include "QuillmereKit/SupportLink.h"

#include <array>

namespace qm::SupportLink {

namespace {

constexpr std::array allTopics{Topic::bug, Topic::idea, Topic::other};

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
    switch (topic) {
        case Topic::bug:
            return "bug";
        case Topic::idea:
            return "idea";
        case Topic::other:
            break;
    }
    return "other";
}

std::optional<Topic> topicFromRawValue(std::string_view raw) noexcept {
    for (const Topic topic : allTopics) {
        if (rawValue(topic) == raw) {
            return topic;
        }
    }
    return std::nullopt;
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
