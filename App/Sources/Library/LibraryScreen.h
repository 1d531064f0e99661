#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <memory>
#include <optional>
#include <string>

#include <QtQml/qqmlregistration.h>

#include "Library/LibraryIconProvider.h"
#include "Library/LibraryViewModel.h"
#include "Model/AppModelBase.h"

namespace qm {

// The library screen's state: a view model for the connected phone, replaced when its serial
// changes and kept when the phone goes, and the icons of its list published for the tiles. A
// view model it drops ends its refresh first, so that the result is saved under its own serial.
// GUI thread only.
class LibraryScreen : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    Q_PROPERTY(AppModelBase* model READ model WRITE setModel NOTIFY modelChanged)
    // Null until a phone has been connected while the screen shows.
    Q_PROPERTY(LibraryViewModel* library READ library NOTIFY libraryChanged)
    // Part of each icon's URL, so that a new list's icons are loaded anew.
    Q_PROPERTY(int iconRevision READ iconRevision NOTIFY iconRevisionChanged)

public:
    using QObject::QObject;
    ~LibraryScreen() override;

    AppModelBase* model() const { return model_; }
    void setModel(AppModelBase* model);
    LibraryViewModel* library() const noexcept { return library_.get(); }
    int iconRevision() const noexcept { return iconRevision_; }

    void classBegin() override {}
    void componentComplete() override;

signals:
    void modelChanged();
    void libraryChanged();
    void iconRevisionChanged();

private:
    void follow();
    void publishIcons();
    void retire(std::unique_ptr<LibraryViewModel> library);

    QPointer<AppModelBase> model_;
    bool complete_ = false;
    // The connected serial the view model was made for; none while no phone is connected.
    std::optional<std::string> serial_;
    std::unique_ptr<LibraryViewModel> library_;
    LibraryIconProvider* icons_ = nullptr;
    int iconRevision_ = 0;
};

}  // namespace qm
