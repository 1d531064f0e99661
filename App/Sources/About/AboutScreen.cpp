#include "About/AboutScreen.h"

#include "About/LicenseDocument.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "Storage/Bundle.h"

namespace qm {

void AboutScreen::setSettings(AppSettings* settings) {
    if (settings != settings_) {
        settings_ = settings;
        emit settingsChanged();
    }
}

void AboutScreen::setBundleRoot(const QString& root) {
    if (root != bundleRoot_) {
        bundleRoot_ = root;
        emit bundleRootChanged();
    }
}

QString AboutScreen::version() const {
    const Bundle bundle = Bundle::at(bundleRoot_);
    const QString unknown = QStringLiteral("?");
    return QStringLiteral("%1 (%2)").arg(
        bundle.infoString("CFBundleShortVersionString").value_or(unknown),
        bundle.infoString("CFBundleVersion").value_or(unknown));
}

QStringList AboutScreen::documentTitles() const {
    QStringList titles;
    for (const LicenseDocument& document : LicenseDocument::all()) {
        titles.append(document.title);
    }
    return titles;
}

void AboutScreen::versionClicked(int modifiers) {
    if (settings_ && (modifiers & (Qt::AltModifier | Qt::ControlModifier))) {
        settings_->setDeveloperMode(!settings_->developerMode());
    }
}

void AboutScreen::select(int index) {
    const auto& documents = LicenseDocument::all();
    if (index < 0 || index >= int(documents.size())) {
        return;
    }
    if (index != selection_) {
        selection_ = index;
        emit selectionChanged();
    }
    setLicenseText({});
    const quint64 generation = ++generation_;
    // Not QFuture::then(this, ...): Qt 6.4 reads that context on the pool thread, which a
    // window closing meanwhile frees.
    runOnWorker(this, [document = documents[std::size_t(index)], bundle = Bundle::at(bundleRoot_)] {
        return document.text(bundle).value_or(QStringLiteral("—"));
    }).then([this, generation](const TaskOutcome<QString>& text) {
        if (generation == generation_ && text.hasValue()) {
            setLicenseText(text.get());
        }
    });
}

void AboutScreen::setLicenseText(const QString& text) {
    if (text != licenseText_) {
        licenseText_ = text;
        emit licenseTextChanged();
    }
}

}  // namespace qm
