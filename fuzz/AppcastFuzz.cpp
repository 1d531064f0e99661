// Any bytes as an appcast: read, or refused as unreadable, never anything else; what it would offer
// obeys the download rules. The same bytes as two versions, split at the first line break: they
// compare the same way round both ways, and trailing zero parts change nothing.
#include <QByteArrayView>
#include <QString>
#include <QUrl>
#include <compare>
#include <cstdint>

#include "FuzzCheck.h"
#include "Updates/Appcast.h"
#include "Updates/DistributionConfig.h"
#include "Updates/UpdateError.h"
#include "Updates/UpdateVersion.h"

namespace {

void checkAppcast(QByteArrayView data) {
    std::vector<qm::AppcastItem> items;
    try {
        items = qm::parseAppcast(data);
    } catch (const qm::UpdateError& error) {
        qm::fuzz::check(error.kind() == qm::UpdateErrorKind::feedUnreadable);
        return;
    }
    const QUrl feed(QStringLiteral("https://updates.example/appcast.xml"));
    const qm::AppcastChoice choice = qm::chooseNewest(items, feed);
    qm::fuzz::check(choice.skipped.size() + (choice.newest ? 1 : 0) <= items.size());
    if (const auto& offer = choice.newest) {
        qm::fuzz::check(offer->signature.size() == 64 && offer->versionSignature.size() == 64);
        qm::fuzz::check(
            qm::DistributionConfig::linkURLFrom(offer->url.toString(), feed).has_value());
        qm::fuzz::check(!offer->length || (*offer->length >= 0 &&
                                           *offer->length <= qm::UpdateOffer::maxDownloadSize));
    }
}

void checkVersions(QByteArrayView data) {
    const QString text = QString::fromUtf8(data);
    const qsizetype lineBreak = text.indexOf(u'\n');
    const QString first = text.left(lineBreak);
    const auto a = qm::UpdateVersion::parse(first);
    const auto b = qm::UpdateVersion::parse(lineBreak < 0 ? QString() : text.mid(lineBreak + 1));
    if (a) {
        qm::fuzz::check(*a == *qm::UpdateVersion::parse(first + QStringLiteral(".0")));
    }
    if (a && b) {
        qm::fuzz::check((*a <=> *b) == (0 <=> (*b <=> *a)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const QByteArrayView data(bytes, static_cast<qsizetype>(size));
    checkAppcast(data);
    checkVersions(data);
    return 0;
}
