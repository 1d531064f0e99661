#pragma once

#include <string>
#include <string_view>

// The page the phone shows for the screen-flash latency test: black and green by its own wall
// clock, so that we know when it flips without a word from the phone. Pure; any thread.
namespace qm::FlashTestPage {

extern const std::string_view html;
// The page as a "data:" URL, opened without writing anything on the phone.
std::string dataURL();
// Where the page is pushed to be opened as a file.
inline constexpr std::string_view devicePath = "/sdcard/Download/qm-flash.html";

// The shell command that opens `url` in the phone's browser.
std::string openCommand(std::string_view url);

}  // namespace qm::FlashTestPage
