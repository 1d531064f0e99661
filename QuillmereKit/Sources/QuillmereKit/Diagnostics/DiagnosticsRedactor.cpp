#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"

#include <QRegularExpression>
#include <algorithm>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

qsizetype characterCount(const QString& text) {
    return static_cast<qsizetype>(UnicodeText::characterCount(text.toStdString()));
}

}  // namespace

DiagnosticsRedactor::DiagnosticsRedactor(const QStringList& serials) {
    for (const QString& serial : serials) {
        // Logs and reports show it escaped.
        const QString escaped = QString::fromStdString(Log::escaped(serial.toStdString()));
        for (const QString& form : {serial, escaped}) {
            if (characterCount(form) >= 4 && !serials_.contains(form)) {
                serials_.append(form);
            }
        }
    }
    std::stable_sort(serials_.begin(), serials_.end(), [](const QString& a, const QString& b) {
        return characterCount(a) > characterCount(b);
    });
}

QString DiagnosticsRedactor::redact(QString text) const {
    for (const QString& serial : serials_) {
        text.replace(serial, serialPlaceholder.toString(), Qt::CaseInsensitive);
    }
    static const QRegularExpression userFolder(QStringLiteral("/(Users|home)/[^/\\s]+"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    text.replace(userFolder, QStringLiteral("/\\1/") + userPlaceholder.toString());
    return text;
}

}  // namespace qm
