#include "QuillmereKit/DiagnosticsRedactor.h"

#include <QRegularExpression>
#include <algorithm>
#include <memory>

#include <unicode/ubrk.h>

namespace qm {

namespace {

// Characters as people count them: grapheme clusters.
qsizetype characterCount(const QString& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> breaks(
        ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.utf16()),
                  static_cast<int32_t>(text.size()), &status),
        &ubrk_close);
    if (U_FAILURE(status)) {
        return text.size();
    }
    qsizetype count = 0;
    while (ubrk_next(breaks.get()) != UBRK_DONE) {
        ++count;
    }
    return count;
}

}  // namespace

DiagnosticsRedactor::DiagnosticsRedactor(const QStringList& serials) {
    for (const QString& serial : serials) {
        if (characterCount(serial) >= 4 && !serials_.contains(serial)) {
            serials_.append(serial);
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
