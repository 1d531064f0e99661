#include "Help/HelpCommands.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTranslator>

#include "Updates/DistributionConfig.h"

namespace qm {

namespace {

// The application installs its translators as its children; none ships yet.
QString translatorLanguage() {
    const auto translators = QCoreApplication::instance()->findChildren<QTranslator*>();
    for (const QTranslator* translator : translators) {
        if (!translator->isEmpty()) {
            return translator->language();
        }
    }
    return {};
}

}  // namespace

void HelpCommands::setBundleRoot(const QString& root) {
    if (root != bundleRoot_) {
        bundleRoot_ = root;
        emit bundleRootChanged();
    }
}

std::optional<SupportLinks> HelpCommands::supportLinks(const Bundle& bundle) {
    const nlohmann::json& info = bundle.info();
    return SupportLinks::current(
        {DistributionConfig::text(info, DistributionConfig::Key::supportURL),
         bundle.infoString("CFBundleShortVersionString"), bundle.infoString("CFBundleVersion")},
        translatorLanguage());
}

void HelpCommands::openQuickFixes() const {
    if (const auto links = supportLinks(bundle())) {
        QDesktopServices::openUrl(links->quickFixes());
    }
}

void HelpCommands::contactSupport() const {
    if (const auto links = supportLinks(bundle())) {
        QDesktopServices::openUrl(links->contact(SupportLink::Topic::bug));
    }
}

void HelpCommands::suggestFeature() const {
    if (const auto links = supportLinks(bundle())) {
        QDesktopServices::openUrl(links->contact(SupportLink::Topic::idea));
    }
}

}  // namespace qm
