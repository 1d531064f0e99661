#include "Errors/ErrorPanelModel.h"

namespace qm {

ErrorPanelModel::ErrorPanelModel(QObject* parent) : QObject(parent) {}

std::optional<QString> ErrorPanelModel::redactedDetail(const std::optional<QString>& detail,
                                                       const DiagnosticsRedactor& redactor) {
    if (!detail) {
        return std::nullopt;
    }
    return redactor.redact(*detail);
}

void ErrorPanelModel::setPresentation(const ErrorPresentation& presentation) {
    if (presentation == presentation_) {
        return;
    }
    presentation_ = presentation;
    ++generation_;
    detail_ = redactedDetail(presentation_.detail, redactor_);
    setCopied(false);
    emit presentationChanged();
}

void ErrorPanelModel::setPhase(const SessionPhase& phase) {
    phase_ = phase;
    if (phase.failure()) {
        setPresentation(ErrorPresenter::presentEnded(*phase.failure()));
    }
}

void ErrorPanelModel::setRedactor(const DiagnosticsRedactor& redactor) {
    if (redactor.serials() == redactor_.serials()) {
        return;
    }
    redactor_ = redactor;
    detail_ = redactedDetail(presentation_.detail, redactor_);
    emit presentationChanged();
}

void ErrorPanelModel::setModel(AppModel* model) {
    if (model_ == model) {
        return;
    }
    if (model_) {
        disconnect(model_, nullptr, this, nullptr);
    }
    model_ = model;
    if (model_) {
        connect(model_, &AppModel::knownSerialsChanged, this,
                [this] { setRedactor(model_->redactor()); });
        setRedactor(model_->redactor());
    }
    emit modelChanged();
}

void ErrorPanelModel::copyDiagnostics() {
    if (!model_) {
        return;
    }
    const int generation = generation_;
    // The model outlives a closed panel.
    model_->copyDiagnostics().then(
        [self = QPointer(this), generation](const TaskOutcome<void>& outcome) {
            if (self && outcome.hasValue() && generation == self->generation_) {
                self->setCopied(true);
            }
        });
}

void ErrorPanelModel::setCopied(bool copied) {
    if (copied_ != copied) {
        copied_ = copied;
        emit copiedChanged();
    }
}

}  // namespace qm
