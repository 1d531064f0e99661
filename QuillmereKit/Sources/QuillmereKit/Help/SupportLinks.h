#pragma once

#include <QString>
#include <QUrl>
#include <optional>

#include "QuillmereKit/Help/SupportLink.h"

namespace qm {

// The support site of this build and what its contact forms are told. Built anew for each use
// (a menu being shown, a button pressed); GUI thread.
struct SupportLinks {
    QUrl base;
    bool russian = false;
    QString appVersion;
    QString build;
    QString systemVersion;

    // The texts of Info.json the links are made from; nothing where a key is missing or its value
    // is not text.
    struct Info {
        std::optional<QString> supportUrl;  // "QMSupportURL"
        std::optional<QString> appVersion;  // "CFBundleShortVersionString"
        std::optional<QString> build;       // "CFBundleVersion"
    };

    // From Info.json, the loaded translator's language and the running system. Nothing unless the
    // support URL is an https address with a host; a missing version or build reads "?". Russian
    // pages only for a translator whose language is exactly "ru".
    static std::optional<SupportLinks> current(const Info& info, const QString& translatorLanguage);

    QUrl quickFixes() const { return SupportLink::quickFixes(base, russian); }
    QUrl contact(SupportLink::Topic topic) const {
        return SupportLink::contact(base, appVersion, build, systemVersion, topic, russian);
    }

    // Three numbers, "12" as "12.0.0": the distribution's version when it is numbers alone, else
    // the leading numbers of the kernel's ("6.1.0-18-amd64" as "6.1.0"), else "?".
    static QString systemVersionOf(const QString& productVersion, const QString& kernelVersion);
};

}  // namespace qm
