#include "Updates/DistributionConfig.h"

#include <QHostAddress>
#include <algorithm>

#include "QuillmereKit/Help/WebURL.h"

namespace qm {

namespace {

// The host as written in an http URL, which parsing would normalise ("127.1", "LOCALHOST").
QStringView writtenHost(const QString& text) {
    QStringView authority = QStringView(text).mid(QLatin1StringView("http://").size());
    const auto end = std::find_if(authority.begin(), authority.end(),
                                  [](QChar c) { return c == u'/' || c == u'?' || c == u'#'; });
    authority = authority.left(end - authority.begin());
    authority = authority.mid(authority.lastIndexOf(u'@') + 1);
    const qsizetype port = authority.lastIndexOf(u':');
    return port < 0 ? authority : authority.left(port);
}

// Any name or address that reaches this computer, however written.
bool isLocalHost(const QUrl& url) {
    const QString host = url.host().toLower();
    if (host == u"localhost" || host.endsWith(QLatin1StringView(".localhost"))) {
        return true;
    }
    const QHostAddress address(host);
    return address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv4) ||
           address == QHostAddress(QHostAddress::AnyIPv6);
}

}  // namespace

DistributionConfig::DistributionConfig(const nlohmann::json& info) {
    if (const auto feed = text(info, Key::feedURL)) {
        feedURL = feedURLFrom(*feed);
    }
    if (const auto key = text(info, Key::sparklePublicKey)) {
        sparklePublicKey = sparkleKeyFrom(*key);
    }
    if (const auto support = text(info, Key::supportURL)) {
        supportURL = webURLFrom(*support);
    }
}

std::optional<QString> DistributionConfig::text(const nlohmann::json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    QString trimmed = QString::fromStdString(value.get<std::string>()).trimmed();
    return trimmed.isEmpty() ? std::nullopt : std::optional(std::move(trimmed));
}

std::optional<QString> DistributionConfig::text(const nlohmann::json& info, std::string_view key) {
    if (!info.is_object()) {
        return std::nullopt;
    }
    const auto found = info.find(key);
    return found == info.end() ? std::nullopt : text(*found);
}

std::optional<QUrl> DistributionConfig::feedURLFrom(const QString& text) {
    if (auto web = webURLFrom(text)) {
        return web;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || !text.startsWith(QLatin1StringView("http://"))) {
        return std::nullopt;
    }
    const QString host = url.host();
    const bool loopback = host == u"127.0.0.1" || host == u"localhost";
    if (!loopback || writtenHost(text) != host) {
        return std::nullopt;
    }
    return url;
}

std::optional<QUrl> DistributionConfig::linkURLFrom(const QString& text, const QUrl& feed) {
    auto url = feedURLFrom(text);
    if (url && isLocalHost(*url) && !isLocalHost(feed)) {
        return std::nullopt;
    }
    return url;
}

std::optional<QString> DistributionConfig::sparkleKeyFrom(const QString& text) {
    const QString trimmed = text.trimmed();
    return base64OfSize(trimmed, 32) ? std::optional(trimmed) : std::nullopt;
}

std::optional<QByteArray> base64OfSize(const QString& text, qsizetype size) {
    // Qt would also take unpadded text.
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size) {
        return std::nullopt;
    }
    return std::move(decoded.decoded);
}

}  // namespace qm
