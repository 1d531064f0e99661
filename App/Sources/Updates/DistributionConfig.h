#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrl>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qm {

// The distribution a build belongs to, read from its Info.json: where updates come from, the key
// they are signed with, and the support page. Missing or malformed keys are simply absent. A value.
struct DistributionConfig {
    struct Key {
        static constexpr std::string_view feedURL = "SUFeedURL";
        static constexpr std::string_view sparklePublicKey = "SUPublicEDKey";
        static constexpr std::string_view supportURL = "QMSupportURL";
    };

    std::optional<QUrl> feedURL;
    // Base64 of an Ed25519 public key, as written.
    std::optional<QString> sparklePublicKey;
    std::optional<QUrl> supportURL;

    DistributionConfig() = default;
    // Never fails; anything but a JSON object counts as empty.
    explicit DistributionConfig(const nlohmann::json& info);

    bool updatesEnabled() const noexcept { return feedURL && sparklePublicKey; }

    // A text value trimmed of white space; nothing for another type or an empty text.
    static std::optional<QString> text(const nlohmann::json& value);
    // The same of the value under `key` in an Info object.
    static std::optional<QString> text(const nlohmann::json& info, std::string_view key);
    // A web address, or plain http to the loopback host written as "127.0.0.1" or "localhost":
    // the rule for every address the updater fetches.
    static std::optional<QUrl> feedURLFrom(const QString& text);
    // An address a feed at `feed` may send the updater to, by a redirect or a link: the feed
    // rule, and a local host only when the feed's own host is one. Host names other than
    // "localhost" are judged when connecting, by what they resolve to.
    static std::optional<QUrl> linkURLFrom(const QString& text, const QUrl& feed);
    // Whether the URL's host is "localhost", a name below it, or a local address.
    static bool isLocalHost(const QUrl& url);
    // The URL's host in small letters without a final dot: "LocalHost." is "localhost".
    static QString hostName(const QUrl& url);
    // Loopback, unspecified, private (shared and unique local included), link-local,
    // benchmarking, multicast, reserved or for protocol use, a local-use NAT64 address, or an
    // IPv4-mapped, IPv4-translated, IPv4-compatible, NAT64 or 6to4 form of one: this computer or
    // its network.
    static bool isLocalAddress(const QHostAddress& address);
    // Strict Base64 of exactly 32 bytes.
    static std::optional<QString> sparkleKeyFrom(const QString& text);

    bool operator==(const DistributionConfig&) const = default;
};

// Strict standard Base64 (padded, no white space) of exactly `size` bytes.
std::optional<QByteArray> base64OfSize(const QString& text, qsizetype size);

}  // namespace qm
