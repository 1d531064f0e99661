#include "Updates/Appcast.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>
#include <variant>

#include <fmt/format.h>

#include "QuillmereCore/UnicodeText.h"
#include "Updates/DistributionConfig.h"
#include "Updates/UpdateError.h"

namespace qm {

namespace {

// The namespace bound to "sparkle" at the current element: its own declaration, else the one in
// scope around it.
QString sparkleNamespace(const QXmlStreamReader& reader, const QString& around) {
    for (const QXmlStreamNamespaceDeclaration& declaration : reader.namespaceDeclarations()) {
        if (declaration.prefix() == u"sparkle") {
            return declaration.namespaceUri().toString();
        }
    }
    return around;
}

bool isPlain(const QXmlStreamReader& reader, QStringView name) {
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

QString trimmedText(QXmlStreamReader& reader) {
    return reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
}

AppcastItem readItem(QXmlStreamReader& reader, const QString& itemSparkle) {
    AppcastItem item;
    QString enclosureVersion;
    while (reader.readNextStartElement()) {
        const QString sparkle = sparkleNamespace(reader, itemSparkle);
        const bool updateElement = !sparkle.isEmpty() && reader.namespaceUri() == sparkle;
        const QStringView name = reader.name();
        if (isPlain(reader, u"enclosure")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            // Without the namespace bound, the lookup would match plain attributes.
            const auto updateAttribute = [&](const char* attribute) {
                return sparkle.isEmpty() ? QString()
                                         : attributes.value(sparkle, QLatin1StringView(attribute))
                                               .trimmed()
                                               .toString();
            };
            const QString os = updateAttribute("os");
            if (item.url.isEmpty() && (os.isEmpty() || os == u"linux")) {
                item.url = attributes.value(QLatin1StringView("url")).trimmed().toString();
                item.length = attributes.value(QLatin1StringView("length")).trimmed().toString();
                item.edSignature = updateAttribute("edSignature");
                item.edVersionSignature = updateAttribute("edVersionSignature");
                enclosureVersion = updateAttribute("version");
            }
            reader.skipCurrentElement();
        } else if (updateElement && name == u"version") {
            item.version = trimmedText(reader);
        } else if (updateElement && name == u"shortVersionString") {
            item.shortVersionString = trimmedText(reader);
        } else if (updateElement && name == u"releaseNotesLink") {
            item.releaseNotesLink = trimmedText(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    if (item.version.isEmpty()) {
        item.version = enclosureVersion;
    }
    return item;
}

std::string quoted(const QString& text) {
    return UnicodeText::quoted(text.toStdString());
}

// No spaces and short parts, so that it cannot read as words of the sentence around it;
// scripts/publish-update holds the publisher to the same rule.
bool looksLikeVersion(const QString& text) {
    static const QRegularExpression version(
        QStringLiteral(R"(\A[0-9][0-9A-Za-z]{0,7}([-.+~][0-9A-Za-z]{1,8})*\z)"));
    return text.size() <= UpdateOffer::maxShownVersionLength && version.match(text).hasMatch();
}

std::variant<UpdateOffer, std::string> checked(const AppcastItem& item, const QUrl& feed) {
    auto version = UpdateVersion::parse(item.version);
    if (!version) {
        return fmt::format("version {} is not dot-separated numbers", quoted(item.version));
    }
    // It is shown when the short version string is not fit to be.
    if (item.version.size() > UpdateOffer::maxShownVersionLength) {
        return fmt::format("version {} is longer than {} characters", quoted(item.version),
                           UpdateOffer::maxShownVersionLength);
    }
    if (item.url.isEmpty()) {
        return std::string("no enclosure for this system");
    }
    auto url = DistributionConfig::linkURLFrom(item.url, feed);
    if (!url) {
        return fmt::format(
            "enclosure address {} is not https or loopback http, or leads to this computer or its "
            "network from a feed elsewhere",
            quoted(item.url));
    }
    std::optional<qint64> length;
    if (!item.length.isEmpty()) {
        bool ok = false;
        length = item.length.toLongLong(&ok);
        if (!ok || *length < 0 || *length > UpdateOffer::maxDownloadSize) {
            return fmt::format("length {} is not a size up to {} bytes", quoted(item.length),
                               UpdateOffer::maxDownloadSize);
        }
    }
    auto signature = base64OfSize(item.edSignature, 64);
    if (!signature) {
        return std::string("no Ed25519 signature");
    }
    auto versionSignature = base64OfSize(item.edVersionSignature, 64);
    if (!versionSignature) {
        return std::string("no Ed25519 signature of the version");
    }
    UpdateOffer offer{.version = std::move(*version),
                      .versionText = item.version,
                      .displayVersion = looksLikeVersion(item.shortVersionString)
                                            ? item.shortVersionString
                                            : item.version,
                      .url = std::move(*url),
                      .length = length,
                      .signature = std::move(*signature),
                      .versionSignature = std::move(*versionSignature),
                      .releaseNotes = std::nullopt};
    if (!item.releaseNotesLink.isEmpty()) {
        offer.releaseNotes = DistributionConfig::linkURLFrom(item.releaseNotesLink, feed);
    }
    return offer;
}

}  // namespace

std::vector<AppcastItem> parseAppcast(QByteArrayView xml) {
    QXmlStreamReader reader(xml.toByteArray());
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
        // Entity declarations only add attack surface; a feed needs none.
        if (reader.tokenType() == QXmlStreamReader::DTD) {
            throw UpdateError::feedUnreadable();
        }
    }
    if (!reader.isStartElement() || !isPlain(reader, u"rss")) {
        throw UpdateError::feedUnreadable();
    }
    std::vector<AppcastItem> items;
    const QString rssSparkle = sparkleNamespace(reader, {});
    while (reader.readNextStartElement()) {
        if (!isPlain(reader, u"channel")) {
            reader.skipCurrentElement();
            continue;
        }
        const QString channelSparkle = sparkleNamespace(reader, rssSparkle);
        while (reader.readNextStartElement()) {
            if (isPlain(reader, u"item")) {
                items.push_back(readItem(reader, sparkleNamespace(reader, channelSparkle)));
            } else {
                reader.skipCurrentElement();
            }
        }
    }
    // What follows the root must still be well-formed.
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (reader.hasError()) {
        throw UpdateError::feedUnreadable();
    }
    return items;
}

AppcastChoice chooseNewest(const std::vector<AppcastItem>& items, const QUrl& feed) {
    AppcastChoice choice;
    for (const AppcastItem& item : items) {
        auto offer = checked(item, feed);
        if (auto* why = std::get_if<std::string>(&offer)) {
            choice.skipped.push_back(std::move(*why));
        } else if (!choice.newest ||
                   std::get<UpdateOffer>(offer).version > choice.newest->version) {
            choice.newest = std::move(std::get<UpdateOffer>(offer));
        }
    }
    return choice;
}

}  // namespace qm
