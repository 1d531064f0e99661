#include "QuillmereKit/Session/RecordingFileNamer.h"

#include <QString>

namespace qm::RecordingFileNamer {

std::filesystem::path folder(const std::filesystem::path& moviesDirectory) {
    return moviesDirectory / folderName;
}

std::filesystem::path fileURL(const std::filesystem::path& folder, const QDateTime& date,
                              const QTimeZone& timeZone,
                              const std::function<bool(const std::filesystem::path&)>& exists) {
    // A format string is read in the C locale, so a 12-hour user setting cannot reach it.
    const QString base = QStringLiteral("Vantorel ") +
                         date.toTimeZone(timeZone).toString(u"yyyy-MM-dd 'at' HH.mm.ss");
    std::filesystem::path candidate = folder / (base + QStringLiteral(".mp4")).toStdString();
    for (int number = 2; exists(candidate); ++number) {
        candidate = folder / (base + QStringLiteral(" (%1).mp4").arg(number)).toStdString();
    }
    return candidate;
}

}  // namespace qm::RecordingFileNamer
