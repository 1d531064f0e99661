#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <QtQml/qqmlregistration.h>

#include "Storage/AppSettings.h"

namespace qm {

// The About window's state: the version line, the developer-mode switch behind an Alt-click or
// a Ctrl-click on it, and the licence text chosen in the sheet, read off the GUI thread. GUI
// thread only.
class AboutScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)
    // Empty for the application's own bundle.
    Q_PROPERTY(QString bundleRoot READ bundleRoot WRITE setBundleRoot NOTIFY bundleRootChanged)
    // "<short version> (<build>)", "?" for either part that Info.json lacks.
    Q_PROPERTY(QString version READ version NOTIFY bundleRootChanged)
    Q_PROPERTY(QStringList documentTitles READ documentTitles CONSTANT)
    Q_PROPERTY(int selection READ selection NOTIFY selectionChanged)
    // The chosen document's text, "—" when it cannot be read; empty while it is being read.
    Q_PROPERTY(QString licenseText READ licenseText NOTIFY licenseTextChanged)

public:
    using QObject::QObject;

    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);
    const QString& bundleRoot() const noexcept { return bundleRoot_; }
    void setBundleRoot(const QString& root);
    QString version() const;
    QStringList documentTitles() const;
    int selection() const noexcept { return selection_; }
    const QString& licenseText() const noexcept { return licenseText_; }

    // A click on the version line with these keyboard modifiers: one holding Alt or Ctrl
    // switches developer mode, any other does nothing. Window managers take Alt-clicks for
    // moving windows, so Ctrl stands in.
    Q_INVOKABLE void versionClicked(int modifiers);
    // Shows a document of documentTitles, read anew; a position out of range is ignored.
    Q_INVOKABLE void select(int index);

signals:
    void settingsChanged();
    void bundleRootChanged();
    void selectionChanged();
    void licenseTextChanged();

private:
    void setLicenseText(const QString& text);

    QPointer<AppSettings> settings_;
    QString bundleRoot_;
    int selection_ = 0;
    QString licenseText_;
    // Tells the latest read from those it superseded.
    quint64 generation_ = 0;
};

}  // namespace qm
