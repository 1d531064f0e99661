#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "Updates/UpdateVersion.h"

namespace qm {

// One item of an appcast as written (trimmed), with its first enclosure for this system; fields
// the item lacks are empty.
struct AppcastItem {
    // The item's own version element, else its enclosure's attribute.
    QString version;
    QString shortVersionString;
    QString releaseNotesLink;
    QString url;
    QString length;
    QString edSignature;
    QString edVersionSignature;

    bool operator==(const AppcastItem&) const = default;
};

// An item that can be offered and downloaded: every field checked.
struct UpdateOffer {
    // The most a download may hold, announced or not.
    static constexpr qint64 maxDownloadSize = qint64{512} * 1024 * 1024;
    // A version is read at a glance in a sentence; a longer one is not a version.
    static constexpr qsizetype maxShownVersionLength = 32;

    UpdateVersion version;
    // As the feed wrote it: the version signature covers this text.
    QString versionText;
    // For people: the short version string when it looks like a version (a digit, then ASCII
    // letters and digits in parts of at most 8 joined by one of ". - + ~", 32 at most), else the
    // version. It never reorders or breaks the sentence it is shown in, nor reads as one.
    QString displayVersion;
    // Passes the link rule of the feed it came from.
    QUrl url;
    std::optional<qint64> length;
    // An Ed25519 signature of the file, 64 bytes.
    QByteArray signature;
    // An Ed25519 signature of UpdateFile::versionMessage(versionText, the file's digest), 64
    // bytes: the feed cannot offer an older signed file as a newer version.
    QByteArray versionSignature;
    // Only an address that passes the link rule.
    std::optional<QUrl> releaseNotes;
};

// The newest item that can be offered, whatever its version, and why the others could not.
struct AppcastChoice {
    std::optional<UpdateOffer> newest;
    std::vector<std::string> skipped;
};

// The items of an RSS 2.0 appcast in document order. The update elements and attributes are those
// in the namespace the document binds to the prefix "sparkle". Enclosures for another system
// ("sparkle:os" set and not "linux") are passed over. Throws UpdateError::feedUnreadable for
// malformed XML, a DTD or another root than "rss".
std::vector<AppcastItem> parseAppcast(QByteArrayView xml);

// `feed` is where the items came from: the addresses in them must pass its link rule.
AppcastChoice chooseNewest(const std::vector<AppcastItem>& items, const QUrl& feed);

}  // namespace qm
