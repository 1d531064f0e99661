#pragma once

#include <functional>
#include <memory>

#include "Developer/FlashTestTarget.h"

namespace qm {

class AdbConnection;
class StreamingSession;

// A flash test's target in the app: the stream's session, as long as it lives, and the phone
// the device link is connected to when asked. GUI thread.
class SessionFlashTarget final : public FlashTestTarget {
public:
    // The device link's live connection, none while not connected.
    using Connection = std::function<std::shared_ptr<AdbConnection>()>;

    SessionFlashTarget(std::weak_ptr<const StreamingSession> session, Connection connection);

    std::optional<FlashClock> flashClock() const override;
    std::optional<double> latencyMillis() const override;
    std::shared_ptr<Phone> phone() const override;

private:
    std::weak_ptr<const StreamingSession> session_;
    Connection connection_;
};

}  // namespace qm
