#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "QuillmereCore/Log.h"

namespace qm::bench {

// Reads of the log history, read again and again, each line given once. The history drops its
// oldest lines as it takes new ones, so a read is a tail of the one before followed by the new
// lines; lines are told apart by all they hold, never by their time alone, which runs backwards
// where threads write within the same millisecond.
class NewLogLines {
public:
    // The lines of `history` that the previous read did not have (all of them the first time).
    std::vector<LogEntry> take(std::vector<LogEntry> history) {
        const std::size_t kept = keptFrom(history);
        std::vector<LogEntry> added(history.begin() + std::ptrdiff_t(kept), history.end());
        last_ = std::move(history);
        return added;
    }

private:
    // How many lines at the start of `history` the previous read ended with.
    std::size_t keptFrom(const std::vector<LogEntry>& history) const {
        const auto same = [](const LogEntry& a, const LogEntry& b) {
            return a.time == b.time && a.level == b.level && a.category == b.category &&
                   a.message == b.message;
        };
        for (std::size_t dropped = 0; dropped < last_.size(); ++dropped) {
            const std::size_t overlap = last_.size() - dropped;
            if (overlap <= history.size() && std::equal(last_.begin() + std::ptrdiff_t(dropped),
                                                        last_.end(), history.begin(), same)) {
                return overlap;
            }
        }
        return 0;
    }

    std::vector<LogEntry> last_;
};

}  // namespace qm::bench
