#include "Updates/UpdateVersion.h"

#include <QList>
#include <algorithm>

namespace qm {

std::optional<UpdateVersion> UpdateVersion::parse(QStringView text) {
    UpdateVersion version;
    for (const QStringView part : text.split(u'.')) {
        const bool digits = !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        });
        if (!digits) {
            return std::nullopt;
        }
        const auto significant =
            std::find_if(part.begin(), part.end(), [](QChar c) { return c != u'0'; });
        version.parts_.push_back(part.mid(significant - part.begin()).toString());
    }
    return version;
}

std::strong_ordering UpdateVersion::operator<=>(const UpdateVersion& other) const {
    const std::size_t count = std::max(parts_.size(), other.parts_.size());
    for (std::size_t i = 0; i < count; ++i) {
        const QString zero;
        const QString& mine = i < parts_.size() ? parts_[i] : zero;
        const QString& theirs = i < other.parts_.size() ? other.parts_[i] : zero;
        // Without leading zeros the longer number is the larger one.
        if (const auto order = mine.size() <=> theirs.size(); order != 0) {
            return order;
        }
        if (const int order = QString::compare(mine, theirs); order != 0) {
            return order < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
        }
    }
    return std::strong_ordering::equal;
}

}  // namespace qm
