#pragma once

#include <optional>
#include <string>
#include <vector>

#include "QuillmereCore/ControlMessage.h"
#include "ServerProtocol/DeviceMessage.h"

namespace qm::test {

// The device server's end of the control socket: takes the bytes as they arrive, in any cut,
// and decodes each complete message as the server would. Anything it cannot read breaks the
// stream for good, as it would on a phone.
class FakeControlReader {
public:
    // The messages completed by `data`; `error` is set once the stream is broken.
    std::vector<ControlMessage> take(ByteView data, std::optional<std::string>& error);

private:
    Bytes pending_;
    bool broken_ = false;
};

// A device message as the server writes it on the control socket.
Bytes encodeDeviceMessage(const DeviceMessage& message);

}  // namespace qm::test
