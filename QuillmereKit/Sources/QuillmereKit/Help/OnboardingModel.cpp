#include "QuillmereKit/Help/OnboardingModel.h"

namespace qm {

bool OnboardingModel::canGoBack() const noexcept {
    return fromRawValue<OnboardingStep>(rawValue(step_) - 1).has_value();
}

bool OnboardingModel::canGoNext() const noexcept {
    return fromRawValue<OnboardingStep>(rawValue(step_) + 1).has_value();
}

void OnboardingModel::back() noexcept {
    step_ = fromRawValue<OnboardingStep>(rawValue(step_) - 1).value_or(step_);
}

void OnboardingModel::next() noexcept {
    step_ = fromRawValue<OnboardingStep>(rawValue(step_) + 1).value_or(step_);
}

void OnboardingModel::noticeChanged(const ConnectionNotice& notice) {
    if (notice == notice_) {
        return;
    }
    notice_ = notice;
    if (const auto highlighted = notice.highlightedStep()) {
        step_ = *highlighted;
    }
}

}  // namespace qm
