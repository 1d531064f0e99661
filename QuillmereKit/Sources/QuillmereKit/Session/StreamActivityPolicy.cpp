#include "QuillmereKit/Session/StreamActivityPolicy.h"

#include "QuillmereKit/Session/ScreenSaverInhibition.h"

namespace qm {

StreamActivityPolicy::StreamActivityPolicy(Begin begin) : begin_(std::move(begin)) {}

bool StreamActivityPolicy::wantsActivity(const std::optional<SessionPhase>& phase, bool enabled) {
    return enabled && phase && phase->kind() == SessionPhase::Kind::streaming;
}

std::unique_ptr<ActivityToken> StreamActivityPolicy::beginScreenSaverInhibition(
    const ActivityOptions&, const std::string& why) {
    // Inhibiting idle handling covers both the display and the system: the options need no
    // translation here.
    return std::make_unique<ScreenSaverInhibition>(QString::fromStdString(why));
}

void StreamActivityPolicy::update(const std::optional<SessionPhase>& phase, bool enabled) {
    if (!wantsActivity(phase, enabled)) {
        end();
    } else if (!token_) {
        token_ = begin_(options, std::string(reason));
    }
}

void StreamActivityPolicy::end() {
    // Cleared first, so that an end() reached from the token's own end() finds nothing held.
    if (std::unique_ptr<ActivityToken> token = std::move(token_)) {
        token->end();
    }
}

}  // namespace qm
