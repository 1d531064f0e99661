#pragma once

#include <QDBusConnection>
#include <QString>
#include <memory>

#include "QuillmereKit/Session/StreamActivityPolicy.h"

namespace qm {

// Holds off the desktop's idle handling (blanking, locking, suspend) through the freedesktop
// ScreenSaver service on the session bus. The calls never block: the cookie arrives later, and
// an end() that comes first is carried out when it does. Without a bus or the service there is
// nothing to hold, and streaming goes on. GUI thread only (the reply comes on its event loop).
class ScreenSaverInhibition final : public ActivityToken {
public:
    static constexpr const char* application = "Vantorel";

    explicit ScreenSaverInhibition(const QString& reason,
                                   QDBusConnection connection = QDBusConnection::sessionBus());
    ~ScreenSaverInhibition() override;

    ScreenSaverInhibition(const ScreenSaverInhibition&) = delete;
    ScreenSaverInhibition& operator=(const ScreenSaverInhibition&) = delete;

    void end() override;

private:
    struct Cookie;
    // Shared with the pending reply, which may arrive after this token is gone.
    std::shared_ptr<Cookie> cookie_;
};

}  // namespace qm
