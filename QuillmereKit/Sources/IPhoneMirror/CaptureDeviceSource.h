#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qm {

// A video input as the system lists it.
struct VideoInput {
    enum class Position { unspecified, back, front };

    std::string id;    // stable while the input stays attached
    std::string name;  // the description shown to people
    Position position = Position::unspecified;

    bool operator==(const VideoInput&) const = default;
};

// Where the capture-device watcher learns which video inputs exist. Main thread only.
class CaptureDeviceSource {
public:
    virtual ~CaptureDeviceSource() = default;

    // In the system's order.
    virtual std::vector<VideoInput> videoInputs() const = 0;
    // `changed` runs on the main thread whenever an input comes or goes; it replaces the one
    // set before, and an empty function ends the reports.
    virtual void onInputsChanged(std::function<void()> changed) = 0;
};

}  // namespace qm
