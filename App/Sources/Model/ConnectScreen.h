#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <QtQml/qqmlregistration.h>

#include "DeviceLink/DeviceLinkState.h"
#include "Model/AppModel.h"
#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"

namespace qm {

// What the connect screen says: the phone's state in words, whether it can connect, and the
// last start error, which passes through the model's redactor. GUI thread only.
class ConnectScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qm::AppModel* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY changed)
    Q_PROPERTY(bool canConnect READ canConnect NOTIFY changed)
    // Empty when the last start did not fail.
    Q_PROPERTY(QString errorText READ errorText NOTIFY changed)

public:
    using QObject::QObject;

    static QString statusText(const DeviceLinkState& state);

    AppModel* model() const { return model_; }
    void setModel(AppModel* model);

    QString statusText() const;
    bool canConnect() const;
    QString errorText() const;

signals:
    void modelChanged();
    void changed();

private:
    QPointer<AppModel> model_;
};

}  // namespace qm
