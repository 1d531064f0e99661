#pragma once

#include <utility>

#include "QuillmereKit/Help/ConnectionNotice.h"
#include "QuillmereKit/Help/PhoneVendor.h"

namespace qm {

// What the onboarding screen shows: the step and the phone brand the user chose, while the step
// follows changes of the connection notice. It lives as long as the screen; GUI thread only.
class OnboardingModel {
public:
    // `notice` is the one on show when the screen opens; it moves nothing.
    explicit OnboardingModel(ConnectionNotice notice) : notice_(std::move(notice)) {}

    OnboardingStep step() const noexcept { return step_; }
    PhoneVendor vendor() const noexcept { return vendor_; }

    // A row of the step list chosen by hand, in any order.
    void select(OnboardingStep step) noexcept { step_ = step; }
    void setVendor(PhoneVendor vendor) noexcept { vendor_ = vendor; }

    bool canGoBack() const noexcept;
    bool canGoNext() const noexcept;
    // Each stays put at its end.
    void back() noexcept;
    void next() noexcept;

    // The app's notice, published again or changed. Only a notice unlike the last one moves the
    // step, so a step chosen by hand survives a notice repeated.
    void noticeChanged(const ConnectionNotice& notice);

private:
    OnboardingStep step_ = OnboardingStep::developerMode;
    PhoneVendor vendor_ = PhoneVendor::oneplus;
    ConnectionNotice notice_;
};

}  // namespace qm
