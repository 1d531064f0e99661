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

// This network, loopback, private, shared, link-local, benchmarking, then multicast and the
// reserved block up to the broadcast address: none is a host on the internet.
bool isLocalIPv4(quint32 v4) {
    const auto in = [v4](quint32 network, int bits) {
        return v4 >> (32 - bits) == network >> (32 - bits);
    };
    return in(0x00000000, 8) || in(0x7F000000, 8) || in(0x0A000000, 8) || in(0x64400000, 10) ||
           in(0xA9FE0000, 16) || in(0xAC100000, 12) || in(0xC0000000, 24) || in(0xC0A80000, 16) ||
           in(0xC6120000, 15) || in(0xE0000000, 3);
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

QString DistributionConfig::hostName(const QUrl& url) {
    QString host = url.host().toLower();
    if (host.endsWith(u'.')) {
        host.chop(1);
    }
    return host;
}

bool DistributionConfig::isLocalHost(const QUrl& url) {
    const QString host = hostName(url);
    if (host == u"localhost" || host.endsWith(QLatin1StringView(".localhost"))) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && isLocalAddress(address);
}

bool DistributionConfig::isLocalAddress(const QHostAddress& address) {
    bool isIPv4 = false;
    // Mapped addresses too: "::ffff:0.0.0.0" reaches this computer as 0.0.0.0 does.
    const quint32 v4 = address.toIPv4Address(&isIPv4);
    if (isIPv4) {
        return isLocalIPv4(v4);
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol) {
        return false;
    }
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    const auto ipv4At = [&v6](int at) {
        return quint32(v6[at]) << 24 | quint32(v6[at + 1]) << 16 | quint32(v6[at + 2]) << 8 |
               quint32(v6[at + 3]);
    };
    // NAT64's well-known prefix, IPv4-translated addresses and 6to4 lead to the IPv4 address
    // they carry.
    static constexpr quint8 nat64[12] = {0x00, 0x64, 0xFF, 0x9B};
    static constexpr quint8 translated[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(v6.c, v6.c + 12, nat64) || std::equal(v6.c, v6.c + 12, translated)) {
        return isLocalIPv4(ipv4At(12));
    }
    // NAT64 prefixes for a network's own use, and the benchmarking block.
    static constexpr quint8 localNat64[6] = {0x00, 0x64, 0xFF, 0x9B, 0x00, 0x01};
    static constexpr quint8 benchmarking[6] = {0x20, 0x01, 0x00, 0x02, 0x00, 0x00};
    if (std::equal(v6.c, v6.c + 6, localNat64) || std::equal(v6.c, v6.c + 6, benchmarking)) {
        return true;
    }
    if (v6[0] == 0x20 && v6[1] == 0x02) {
        return isLocalIPv4(ipv4At(2));
    }
    // ::/96 holds "::", "::1" and the old IPv4-compatible forms.
    const bool zeroPrefix = std::all_of(v6.c, v6.c + 12, [](quint8 byte) { return byte == 0; });
    const bool uniqueLocal = (v6[0] & 0xFE) == 0xFC;
    // Link-local, and the site-local block that preceded unique local addresses.
    const bool linkOrSiteLocal = v6[0] == 0xFE && (v6[1] & 0x80) == 0x80;
    const bool multicast = v6[0] == 0xFF;
    return zeroPrefix || uniqueLocal || linkOrSiteLocal || multicast;
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
