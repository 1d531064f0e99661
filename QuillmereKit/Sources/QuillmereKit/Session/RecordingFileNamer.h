#pragma once

#include <QDateTime>
#include <QTimeZone>
#include <filesystem>
#include <functional>
#include <string_view>

namespace qm {

// Where recordings go and what they are called: "Vantorel 2026-12-06 at 07.31.24.mp4" in the
// folder "Vantorel" of the movies folder, numbered from " (2)" on a clash. Pure: `exists` is
// asked about candidates and nothing is created. Any thread.
namespace RecordingFileNamer {

inline constexpr std::string_view folderName = "Vantorel";

std::filesystem::path folder(const std::filesystem::path& moviesDirectory);

// The first name for `date` in `timeZone` that `exists` says is free; the clock is the 24-hour
// one whatever the user's locale.
std::filesystem::path fileURL(const std::filesystem::path& folder, const QDateTime& date,
                              const QTimeZone& timeZone,
                              const std::function<bool(const std::filesystem::path&)>& exists);

}  // namespace RecordingFileNamer

}  // namespace qm
