#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include <QtQml/qqmlregistration.h>

#include "QuillmereKit/Help/SupportLinks.h"
#include "Storage/Bundle.h"

namespace qm {

// The support site's pages, opened in the default browser. The links are made anew from
// Info.json for each question and each opening. GUI thread only.
class HelpCommands : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The bundle whose Info.json names the site; empty for the application's own.
    Q_PROPERTY(QString bundleRoot READ bundleRoot WRITE setBundleRoot NOTIFY bundleRootChanged)

public:
    using QObject::QObject;

    const QString& bundleRoot() const noexcept { return bundleRoot_; }
    void setBundleRoot(const QString& root);

    // Nothing without an https support address with a host in the bundle's Info.json.
    static std::optional<SupportLinks> supportLinks(const Bundle& bundle);

    Q_INVOKABLE bool hasSupportLinks() const { return supportLinks(bundle()).has_value(); }
    Q_INVOKABLE void openQuickFixes() const;
    Q_INVOKABLE void contactSupport() const;
    Q_INVOKABLE void suggestFeature() const;

signals:
    void bundleRootChanged();

private:
    Bundle bundle() const { return Bundle::at(bundleRoot_); }

    QString bundleRoot_;
};

}  // namespace qm
