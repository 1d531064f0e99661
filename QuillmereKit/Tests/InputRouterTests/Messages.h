#pragma once

#include <vector>

#include "InputRouter/MessageList.h"

namespace qm {

// Runs one machine operation on a fresh list and returns what it produced.
template <typename Operation>
std::vector<ControlMessage> collect(Operation&& operation) {
    MessageList out;
    operation(out);
    return {out.begin(), out.end()};
}

}  // namespace qm
