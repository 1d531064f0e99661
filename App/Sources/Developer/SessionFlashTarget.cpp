#include "SessionFlashTarget.h"

#include "DeviceLink/AdbConnection.h"
#include "QuillmereKit/Session/StreamingSession.h"

namespace qm {

namespace {

class ConnectionPhone final : public FlashTestTarget::Phone {
public:
    explicit ConnectionPhone(std::shared_ptr<AdbConnection> connection)
        : connection_(std::move(connection)) {}

    void push(ByteView data, const std::string& path, std::uint32_t mode) override {
        connection_->push(data, path, mode);
    }
    std::string shell(const std::string& command) override { return connection_->shell(command); }

private:
    std::shared_ptr<AdbConnection> connection_;
};

}  // namespace

SessionFlashTarget::SessionFlashTarget(std::weak_ptr<const StreamingSession> session,
                                       Connection connection)
    : session_(std::move(session)), connection_(std::move(connection)) {}

std::optional<FlashClock> SessionFlashTarget::flashClock() const {
    const std::shared_ptr<const StreamingSession> session = session_.lock();
    return session ? session->flashClock() : std::nullopt;
}

std::optional<double> SessionFlashTarget::latencyMillis() const {
    const std::shared_ptr<const StreamingSession> session = session_.lock();
    return session ? session->stats().latencyMillis : std::nullopt;
}

std::shared_ptr<FlashTestTarget::Phone> SessionFlashTarget::phone() const {
    std::shared_ptr<AdbConnection> connection = connection_();
    if (!connection) {
        return nullptr;
    }
    return std::make_shared<ConnectionPhone>(std::move(connection));
}

}  // namespace qm
