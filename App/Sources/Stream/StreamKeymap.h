#pragma once

#include <QObject>
#include <QQmlParserStatus>
#include <QString>
#include <memory>

#include <QtQml/qqmlregistration.h>

#include "Editor/KeymapController.h"
#include "Editor/KeymapFileDialogs.h"

namespace qm {

// The keymap controller of one stream screen and its game, with the file dialogs it asks:
// made once the package is known, with the profile folder when there is one (else without a
// store: play works, saving reports the missing folder). A stream of another game gets a new
// one. GUI thread only.
class StreamKeymap : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    // Empty without a game; read once, when the object is complete.
    Q_PROPERTY(QString packageName READ packageName WRITE setPackageName NOTIFY packageNameChanged)
    Q_PROPERTY(qm::KeymapController* controller READ controller NOTIFY controllerChanged)
    Q_PROPERTY(qm::KeymapFileDialogs* fileDialogs READ fileDialogs CONSTANT)

public:
    using QObject::QObject;

    const QString& packageName() const noexcept { return packageName_; }
    void setPackageName(const QString& packageName);
    KeymapController* controller() const noexcept { return controller_.get(); }
    KeymapFileDialogs* fileDialogs() noexcept { return &fileDialogs_; }

    void classBegin() override {}
    void componentComplete() override;

signals:
    void packageNameChanged();
    void controllerChanged();

private:
    QString packageName_;
    // Declared first, so that the controller that asks it goes before it.
    KeymapFileDialogs fileDialogs_;
    std::unique_ptr<KeymapController> controller_;
};

}  // namespace qm
