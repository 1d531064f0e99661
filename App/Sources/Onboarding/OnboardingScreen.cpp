#include "Onboarding/OnboardingScreen.h"

#include <algorithm>

#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Help/OnboardingText.h"
#include "QuillmereKit/Help/PhoneVendor.h"
#include "Storage/Bundle.h"

namespace qm {

void OnboardingScreen::setModel(AppModelBase* model) {
    if (model == appModel_) {
        return;
    }
    if (appModel_) {
        disconnect(appModel_, nullptr, this, nullptr);
    }
    appModel_ = model;
    // A screen over another model starts afresh.
    update(
        [this] { model_ = OnboardingModel(appModel_ ? appModel_->connectionNotice() : notice_); });
    if (appModel_) {
        connect(appModel_, &AppModelBase::connectionNoticeChanged, this,
                &OnboardingScreen::followNotice);
        notice_ = appModel_->connectionNotice();
    }
    emit modelChanged();
    emit noticeChanged();
}

void OnboardingScreen::setBundleRoot(const QString& root) {
    if (root != bundleRoot_) {
        bundleRoot_ = root;
        emit bundleRootChanged();
        emit changed();
        emit noticeChanged();
    }
}

int OnboardingScreen::step() const noexcept {
    return rawValue(model_.step());
}

QStringList OnboardingScreen::stepTitles() const {
    QStringList titles;
    for (const OnboardingStep step : allOnboardingSteps) {
        titles.append(OnboardingText::title(step));
    }
    return titles;
}

int OnboardingScreen::vendor() const noexcept {
    return int(std::find(allPhoneVendors.begin(), allPhoneVendors.end(), model_.vendor()) -
               allPhoneVendors.begin());
}

QStringList OnboardingScreen::vendorTitles() const {
    QStringList titles;
    for (const PhoneVendor vendor : allPhoneVendors) {
        titles.append(title(vendor));
    }
    return titles;
}

QString OnboardingScreen::allowHint() const {
    return model_.step() == OnboardingStep::usbDebugging ? OnboardingText::allowDialog()
                                                         : QString();
}

QStringList OnboardingScreen::steps() const {
    switch (model_.step()) {
        case OnboardingStep::developerMode:
            return developerModeSteps(model_.vendor());
        case OnboardingStep::usbDebugging:
            return usbDebuggingSteps(model_.vendor());
        case OnboardingStep::cable:
            break;
    }
    return OnboardingText::cableSteps();
}

int OnboardingScreen::commandsStep() const {
    return model_.step() == OnboardingStep::cable && rulePath() ? int(OnboardingText::udevRuleStep)
                                                                : -1;
}

QStringList OnboardingScreen::commands() const {
    return model_.step() == OnboardingStep::cable ? ruleCommands() : QStringList();
}

OnboardingScreen::NoticeKind OnboardingScreen::noticeKind() const noexcept {
    switch (notice_.kind) {
        case ConnectionNotice::Kind::allowOnPhone:
            return NoticeKind::allowOnPhone;
        case ConnectionNotice::Kind::failed:
            return NoticeKind::failed;
        case ConnectionNotice::Kind::anotherAdbRunning:
            return NoticeKind::anotherAdbRunning;
        case ConnectionNotice::Kind::usbPermission:
            return NoticeKind::usbPermission;
        case ConnectionNotice::Kind::noUsb:
            return NoticeKind::noUsb;
        case ConnectionNotice::Kind::connectCable:
            break;
    }
    return NoticeKind::connectCable;
}

QString OnboardingScreen::noticeText() const {
    // The phone's own name sits inside our sentence: it must neither break nor turn it.
    if (notice_.kind == ConnectionNotice::Kind::allowOnPhone) {
        return QString::fromStdString(UnicodeText::excerpt(notice_.text));
    }
    if (notice_.kind == ConnectionNotice::Kind::failed) {
        return ErrorPresenter::connectionError(notice_.cause);
    }
    return QString::fromStdString(notice_.text);
}

QStringList OnboardingScreen::noticeCommands() const {
    switch (notice_.kind) {
        case ConnectionNotice::Kind::usbPermission:
            return ruleCommands();
        case ConnectionNotice::Kind::anotherAdbRunning:
            return {QStringLiteral("adb kill-server")};
        default:
            return {};
    }
}

void OnboardingScreen::select(int step) {
    if (const auto chosen = fromRawValue<OnboardingStep>(step)) {
        update([&] { model_.select(*chosen); });
    }
}

void OnboardingScreen::setVendor(int index) {
    if (index >= 0 && index < int(allPhoneVendors.size())) {
        update([&] { model_.setVendor(allPhoneVendors[std::size_t(index)]); });
    }
}

void OnboardingScreen::back() {
    update([this] { model_.back(); });
}

void OnboardingScreen::next() {
    update([this] { model_.next(); });
}

void OnboardingScreen::copyDiagnostics() {
    if (appModel_) {
        appModel_->copyDiagnostics();
    }
}

template <typename Change>
void OnboardingScreen::update(Change change) {
    const auto step = model_.step();
    const auto vendor = model_.vendor();
    change();
    if (model_.step() != step || model_.vendor() != vendor) {
        emit changed();
    }
}

void OnboardingScreen::followNotice() {
    if (!appModel_) {
        return;
    }
    const ConnectionNotice& notice = appModel_->connectionNotice();
    update([&] { model_.noticeChanged(notice); });
    if (notice != notice_) {
        notice_ = notice;
        emit noticeChanged();
    }
}

std::optional<QString> OnboardingScreen::rulePath() const {
    return Bundle::at(bundleRoot_).path(u"70-vantorel-adb", u"rules", u"linux");
}

QStringList OnboardingScreen::ruleCommands() const {
    const auto path = rulePath();
    return path ? OnboardingText::udevRuleCommands(*path) : QStringList();
}

}  // namespace qm
