#include "About/LicenseDocument.h"

#include <QFile>
#include <QStringDecoder>

namespace qm {

const std::vector<LicenseDocument>& LicenseDocument::all() {
    static const std::vector<LicenseDocument> documents = [] {
        std::vector<LicenseDocument> list{
            {QStringLiteral("NOTICE"), QStringLiteral("NOTICE")},
            {QStringLiteral("server-LICENSE"),
             QStringLiteral("quillmere-server — Apache License 2.0")},
            {QStringLiteral("PATCHES"), QStringLiteral("quillmere-server — our changes")},
            {QStringLiteral("FidelityFX-CAS-LICENSE"),
             QStringLiteral("Sharpening filter — no AMD licence applies")},
        };
        // The Debian copyright files the build copies, titled by the library's name.
        for (const char* library : {"Qt", "FFmpeg", "SDL2", "libusb", "OpenSSL", "spdlog", "fmt",
                                    "nlohmann-json", "ICU", "libsodium"}) {
            const QString name = QString::fromLatin1(library);
            list.push_back({name + QStringLiteral("-COPYRIGHT"), name});
        }
        return list;
    }();
    return documents;
}

std::optional<QString> LicenseDocument::text(const Bundle& bundle) const {
    auto path = bundle.path(id, u"txt", u"Licenses");
    if (!path) {
        path = bundle.path(id, u"txt");
    }
    if (!path) {
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        return std::nullopt;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace qm
