#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <string_view>

namespace qm {

// The addresses of the support site's pages. Pure functions of their arguments; `base` is an
// absolute https address with a host.
namespace SupportLink {

// What a contact form is about. The raw value is the case name.
enum class Topic { bug, idea, other };

std::string_view rawValue(Topic topic) noexcept;
// Exact, case-sensitive names.
std::optional<Topic> topicFromRawValue(std::string_view raw) noexcept;

// `base` itself, or its Russian pages: the path under "/ru".
QUrl quickFixes(const QUrl& base, bool russian);

// The contact form for `topic` with the version, build and system version filled in as the
// query fields "v", "os" and "topic" (replacing any query of `base`), at the fragment "form".
QUrl contact(const QUrl& base, const QString& appVersion, const QString& build,
             const QString& systemVersion, Topic topic, bool russian);

}  // namespace SupportLink

}  // namespace qm
