#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

#include <QtQml/qqmlregistration.h>

#include "Model/AppModel.h"
#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Session/SessionTypes.h"

namespace qm {

// The error panel's state: the presentation with its detail redacted, and whether the
// diagnostics were copied for it. "Copied" holds until a different presentation arrives; a copy
// that ends after that no longer counts. GUI thread only.
class ErrorPanelModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qm::ErrorPresentation presentation READ presentation WRITE setPresentation NOTIFY
                   presentationChanged)
    // A failed phase sets the presentation of its failure; other phases change nothing.
    Q_PROPERTY(qm::SessionPhase phase READ phase WRITE setPhase NOTIFY presentationChanged)
    // The redactor over the serials it has seen, and the phone the copied diagnostics describe.
    Q_PROPERTY(qm::AppModel* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(bool hasDetail READ hasDetail NOTIFY presentationChanged)
    Q_PROPERTY(QString detail READ detail NOTIFY presentationChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)

public:
    explicit ErrorPanelModel(QObject* parent = nullptr);

    static std::optional<QString> redactedDetail(const std::optional<QString>& detail,
                                                 const DiagnosticsRedactor& redactor);

    const ErrorPresentation& presentation() const noexcept { return presentation_; }
    void setPresentation(const ErrorPresentation& presentation);
    const SessionPhase& phase() const noexcept { return phase_; }
    void setPhase(const SessionPhase& phase);
    AppModel* model() const { return model_; }
    void setModel(AppModel* model);

    bool hasDetail() const { return detail_.has_value(); }
    QString detail() const { return detail_.value_or(QString()); }
    bool copied() const noexcept { return copied_; }

    // Puts the diagnostics report on the clipboard; "copied" once it is there.
    Q_INVOKABLE void copyDiagnostics();

signals:
    void presentationChanged();
    void modelChanged();
    void copiedChanged();

private:
    void setRedactor(const DiagnosticsRedactor& redactor);
    void setCopied(bool copied);

    ErrorPresentation presentation_;
    SessionPhase phase_;
    DiagnosticsRedactor redactor_;
    std::optional<QString> detail_;
    QPointer<AppModel> model_;
    bool copied_ = false;
    // Counts presentations, so that a copy knows whether its own is still shown.
    int generation_ = 0;
};

}  // namespace qm
