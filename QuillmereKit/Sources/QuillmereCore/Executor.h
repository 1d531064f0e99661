#pragma once

#include <functional>

namespace qm {

// Where a producer hands its results: the Qt main thread in the app, a drained queue in tests.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace qm
