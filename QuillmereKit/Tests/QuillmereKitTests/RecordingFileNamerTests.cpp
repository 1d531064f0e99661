#include <QLocale>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "QuillmereKit/Session/RecordingFileNamer.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(RecordingFileNamerTest, NamesByTheLocalTwentyFourHourTimeAndNumbersClashesFromTwo) {
    // A 12-hour locale must not reach the name.
    const QLocale userLocale;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QTimeZone berlin("Europe/Berlin");
    const fs::path folder = RecordingFileNamer::folder("/home/ana/Videos");
    EXPECT_EQ(folder, fs::path("/home/ana/Videos/Vantorel"));

    struct Case {
        QDateTime date;
        std::set<fs::path> existing;
        std::string name;
    };
    const QDateTime morning = QDateTime(QDate(2026, 12, 6), QTime(7, 31, 24), berlin);
    const std::string base = "Vantorel 2026-12-06 at 07.31.24";
    const Case cases[] = {
        {morning, {}, base + ".mp4"},
        {morning, {folder / (base + ".mp4")}, base + " (2).mp4"},
        {morning, {folder / (base + ".mp4"), folder / (base + " (2).mp4")}, base + " (3).mp4"},
        // The same moment told in another zone still names Berlin's time.
        {morning.toUTC(), {}, base + ".mp4"},
        {QDateTime(QDate(2026, 12, 6), QTime(19, 5, 9), berlin),
         {},
         "Vantorel 2026-12-06 at 19.05.09.mp4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RecordingFileNamer::fileURL(
                      folder, c.date, berlin,
                      [&](const fs::path& candidate) { return c.existing.count(candidate) > 0; }),
                  folder / c.name);
    }
    QLocale::setDefault(userLocale);
}

}  // namespace
}  // namespace qm
