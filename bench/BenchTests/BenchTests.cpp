#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MedianReporter.h"
#include "NewLogLines.h"

namespace qm::bench {
namespace {

LogEntry line(int millis, const std::string& message) {
    return {std::chrono::system_clock::time_point(std::chrono::milliseconds(millis)), "usb",
            spdlog::level::err, message};
}

std::vector<std::string> messages(const std::vector<LogEntry>& entries) {
    std::vector<std::string> texts;
    for (const LogEntry& entry : entries) {
        texts.push_back(entry.message);
    }
    return texts;
}

// The soak reads the history every second; lines of several threads reach it out of their
// time order, and the oldest fall out once it is full.
TEST(NewLogLines, GivesEachLineOnce) {
    NewLogLines lines;
    const LogEntry a = line(5, "bad magic"), b = line(4, "bad magic"), c = line(9, "bad magic");
    EXPECT_EQ(lines.take({a, b}).size(), 2u);
    EXPECT_TRUE(lines.take({a, b}).empty());
    EXPECT_TRUE(lines.take({a, b}).empty());
    // Full: the oldest dropped as the newest came, the same words at another time.
    EXPECT_EQ(lines.take({b, c}).size(), 1u);
    // The same line again is a line of its own.
    EXPECT_EQ(lines.take({c, line(9, "bad magic")}).size(), 1u);
    // More came than the history holds: all of it is new.
    EXPECT_EQ(messages(lines.take({line(10, "x"), line(11, "y")})),
              (std::vector<std::string>{"x", "y"}));
}

benchmark::BenchmarkReporter::Run run(double value, const char* aggregate = nullptr) {
    benchmark::BenchmarkReporter::Run made;
    made.run_name.function_name = "BM_Session";
    made.iterations = 1;
    made.counters["p50_us"] = benchmark::Counter(value);
    if (aggregate) {
        made.run_type = benchmark::BenchmarkReporter::Run::RT_Aggregate;
        made.aggregate_name = aggregate;
    }
    return made;
}

// One slow repetition must not decide the verdict, whether the library's aggregates are shown
// or only the repetitions.
TEST(MedianReporter, JudgesOnTheMedianOfTheRepetitions) {
    std::ostringstream table;
    const auto reporter = [&] {
        auto made = std::make_unique<MedianReporter>();
        made->SetOutputStream(&table);
        made->SetErrorStream(&table);
        return made;
    };
    const auto repetitions = reporter();
    repetitions->ReportRuns({run(700), run(755), run(2351)});
    EXPECT_EQ(repetitions->median("BM_Session", "p50_us"), 755);
    EXPECT_EQ(repetitions->median("BM_Session", "p99_us"), std::nullopt);
    EXPECT_EQ(repetitions->median("BM_Other", "p50_us"), std::nullopt);

    const auto aggregates = reporter();
    aggregates->ReportRuns({run(700), run(760), run(2351)});
    aggregates->ReportRuns({run(1270, "mean"), run(755, "median"), run(900, "stddev")});
    EXPECT_EQ(aggregates->median("BM_Session", "p50_us"), 755);
}

}  // namespace
}  // namespace qm::bench
