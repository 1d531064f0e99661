#pragma once

#include <map>
#include <set>
#include <string>

#include "QuillmereCore/Bytes.h"

namespace qm {

// What the phone says of itself in its CNXN: "state:ignored:key=value;...;features=a,b".
struct DeviceBanner {
    std::string state;
    std::map<std::string, std::string> properties;  // every item but "features"
    std::set<std::string> features;

    bool operator==(const DeviceBanner&) const = default;

    // Throws AdbError protocolViolation when there is no non-empty state before a colon.
    static DeviceBanner parse(ByteView payload);
};

}  // namespace qm
