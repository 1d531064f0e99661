#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "QuillmereKit/Session/SessionTypes.h"

namespace qm {

// What a held activity asks of the desktop while a stream plays.
struct ActivityOptions {
    bool userInitiated = false;  // the user is watching: the system stays awake
    bool latencyCritical = false;
    bool idleDisplaySleepDisabled = false;

    bool operator==(const ActivityOptions&) const = default;
};

// An activity held on the desktop; destroying the token ends it too.
class ActivityToken {
public:
    virtual ~ActivityToken() = default;
    // Ends the activity; a second call does nothing.
    virtual void end() = 0;
};

// Holds one activity while a stream plays and the user's setting asks for it. The window feeds
// it every phase change and ends it when it closes. GUI thread only.
class StreamActivityPolicy {
public:
    using Begin = std::function<std::unique_ptr<ActivityToken>(const ActivityOptions&,
                                                               const std::string& why)>;

    static constexpr ActivityOptions options{
        .userInitiated = true, .latencyCritical = true, .idleDisplaySleepDisabled = true};
    static constexpr std::string_view reason = "Vantorel is streaming the phone screen";

    // By default the activity is an inhibition of the desktop's idle handling.
    explicit StreamActivityPolicy(Begin begin = beginScreenSaverInhibition);

    static bool wantsActivity(const std::optional<SessionPhase>& phase, bool enabled);
    static std::unique_ptr<ActivityToken> beginScreenSaverInhibition(const ActivityOptions&,
                                                                     const std::string& why);

    bool isActive() const noexcept { return token_ != nullptr; }
    // Begins the activity when it is wanted and none is held; ends a held one otherwise.
    void update(const std::optional<SessionPhase>& phase, bool enabled);
    void end();

private:
    Begin begin_;
    std::unique_ptr<ActivityToken> token_;
};

}  // namespace qm
