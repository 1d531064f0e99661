#include "NameRefusal.h"

#include <QCoreApplication>

#include "InputRouter/KeymapProfile.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm::NameRefusal {

QString hiddenCharacter(const QString& name) {
    const auto found = UnicodeText::firstHiddenCharacter(name.toStdString());
    if (!found) {
        return {};
    }
    const char32_t c = *found;
    const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    if (UnicodeText::isLineBreak(c)) {
        return QCoreApplication::translate("NameRefusal", "a line break");
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return QCoreApplication::translate("NameRefusal", "a control character (%1)").arg(code);
    }
    if (UnicodeText::reordersText(c)) {
        return QCoreApplication::translate("NameRefusal",
                                           "a mark that changes the order of its text (%1)")
            .arg(code);
    }
    return QCoreApplication::translate("NameRefusal", "an invisible character (%1)").arg(code);
}

QString fittedLayoutName(const QString& typed) {
    const std::string text = typed.toStdString();
    const std::string_view kept = UnicodeText::leadingCharacters(text, KeymapLayout::maxNameLength,
                                                                 KeymapLayout::maxNameBytes);
    return kept.size() == text.size()
               ? typed
               : QString::fromUtf8(kept.data(), static_cast<qsizetype>(kept.size()));
}

}  // namespace qm::NameRefusal
