#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>

#include <QtQml/qqmlregistration.h>

#include "Model/AppModelBase.h"
#include "QuillmereKit/Help/OnboardingModel.h"

namespace qm {

// The onboarding screen's state for its view: the step and brand shown, their texts, and the app
// model's connection notice, which moves the step once the screen is up. GUI thread only.
class OnboardingScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT

public:
    enum class NoticeKind {
        allowOnPhone,
        failed,
        connectCable,
        anotherAdbRunning,
        usbPermission,
        noUsb
    };
    Q_ENUM(NoticeKind)

private:
    // The notice at the moment this is set moves nothing.
    Q_PROPERTY(AppModelBase* model READ model WRITE setModel NOTIFY modelChanged)
    // The bundle holding the udev rule; empty for the application's own.
    Q_PROPERTY(QString bundleRoot READ bundleRoot WRITE setBundleRoot NOTIFY bundleRootChanged)

    // The step's raw value, 1 to 3.
    Q_PROPERTY(int step READ step NOTIFY changed)
    Q_PROPERTY(QStringList stepTitles READ stepTitles NOTIFY changed)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY changed)
    Q_PROPERTY(bool canGoNext READ canGoNext NOTIFY changed)
    // The position of the brand in vendorTitles.
    Q_PROPERTY(int vendor READ vendor NOTIFY changed)
    Q_PROPERTY(QStringList vendorTitles READ vendorTitles CONSTANT)
    Q_PROPERTY(bool showsVendorPicker READ showsVendorPicker NOTIFY changed)
    // The hint about the phone's question; empty where it is not shown.
    Q_PROPERTY(QString allowHint READ allowHint NOTIFY changed)
    Q_PROPERTY(QStringList steps READ steps NOTIFY changed)
    // The position in `steps` that the udev rule's commands go under; -1 for none.
    Q_PROPERTY(int commandsStep READ commandsStep NOTIFY changed)
    Q_PROPERTY(QStringList commands READ commands NOTIFY changed)

    Q_PROPERTY(NoticeKind noticeKind READ noticeKind NOTIFY noticeChanged)
    // The phone's product name or the failure's reason, as given.
    Q_PROPERTY(QString noticeText READ noticeText NOTIFY noticeChanged)
    // What the notice tells the user to run, for copying: the udev rule's commands when USB
    // permission is missing, "adb kill-server" when another adb holds the phone; else empty.
    Q_PROPERTY(QStringList noticeCommands READ noticeCommands NOTIFY noticeChanged)

public:
    using QObject::QObject;

    AppModelBase* model() const { return appModel_; }
    void setModel(AppModelBase* model);
    const QString& bundleRoot() const noexcept { return bundleRoot_; }
    void setBundleRoot(const QString& root);

    int step() const noexcept;
    QStringList stepTitles() const;
    bool canGoBack() const noexcept { return model_.canGoBack(); }
    bool canGoNext() const noexcept { return model_.canGoNext(); }
    int vendor() const noexcept;
    QStringList vendorTitles() const;
    bool showsVendorPicker() const noexcept { return model_.step() != OnboardingStep::cable; }
    QString allowHint() const;
    QStringList steps() const;
    int commandsStep() const;
    QStringList commands() const;

    NoticeKind noticeKind() const noexcept;
    QString noticeText() const;
    QStringList noticeCommands() const;

    // A step's raw value; anything else is ignored.
    Q_INVOKABLE void select(int step);
    // A position in vendorTitles; anything else is ignored.
    Q_INVOKABLE void setVendor(int index);
    Q_INVOKABLE void back();
    Q_INVOKABLE void next();
    // Starts a copy of the diagnostics report and returns.
    Q_INVOKABLE void copyDiagnostics();

signals:
    void modelChanged();
    void bundleRootChanged();
    void changed();
    void noticeChanged();

private:
    template <typename Change>
    void update(Change change);
    void followNotice();
    std::optional<QString> rulePath() const;
    QStringList ruleCommands() const;

    QPointer<AppModelBase> appModel_;
    QString bundleRoot_;
    OnboardingModel model_{ConnectionNotice::connectCable()};
    ConnectionNotice notice_ = ConnectionNotice::connectCable();
};

}  // namespace qm
