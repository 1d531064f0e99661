#include "QuillmereKit/Diagnostics/ErrorPresenter.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <string_view>

namespace qm {

QString ErrorPresentation::message() const {
    return QCoreApplication::translate("ErrorPresenter", messageKey.toUtf8().constData());
}

QStringList ErrorPresentation::actionNames() const {
    const QMetaEnum names = QMetaEnum::fromType<Action>();
    QStringList result;
    for (const Action action : actions) {
        result.append(QString::fromLatin1(names.valueToKey(static_cast<int>(action))));
    }
    return result;
}

namespace ErrorPresenter {

namespace {

using enum ErrorPresentation::Action;

ErrorPresentation presentation(const char* key, std::optional<std::string_view> detail,
                               std::vector<ErrorAction> actions) {
    std::optional<QString> shown;
    if (detail) {
        shown = QString::fromUtf8(detail->data(), static_cast<qsizetype>(detail->size()));
    }
    return {QString::fromUtf8(key), std::move(shown), std::move(actions)};
}

// What the person reads is said in words: a case of this program ("timedOut(...)") never
// reaches the screen.
ErrorPresentation presentServerFailed(const SessionFailure& failure) {
    switch (failure.cause()) {
        case FailureCause::timedOut:
            return presentation(Key::connectTimeout, std::nullopt, {retry, copyDiagnostics});
        case FailureCause::linkFailed:
            return presentation(Key::linkFailed, std::nullopt, {retry, copyDiagnostics});
        case FailureCause::serverStopped:
            return presentation(Key::serverStopped, failure.reason(), {retry, copyDiagnostics});
        case FailureCause::streamDisabled:
            return presentation(Key::streamDisabled, std::nullopt, {retry, copyDiagnostics});
        case FailureCause::encoderRejected:
            return presentation(Key::encoderRejected, std::nullopt, {retry, copyDiagnostics});
        case FailureCause::demoUnreadable:
            return presentation(Key::demoUnreadable, std::nullopt, {copyDiagnostics});
        case FailureCause::other:
            break;
    }
    return presentation(Key::generic, failure.reason(), {retry, copyDiagnostics});
}

const char* linkKey(LinkFailure cause) {
    switch (cause) {
        case LinkFailure::keyUnavailable:
            return Key::keyUnavailable;
        case LinkFailure::usbUnavailable:
            return Key::usbUnavailable;
        case LinkFailure::unplugged:
            return Key::unplugged;
        case LinkFailure::refused:
            return Key::keyRefused;
        case LinkFailure::noAnswer:
            return Key::noAnswer;
        case LinkFailure::handshakeFailed:
            return Key::handshakeFailed;
        case LinkFailure::androidTooOld:
            return Key::androidTooOld;
        case LinkFailure::connectionUnstable:
            return Key::connectionUnstable;
    }
    return Key::generic;
}

}  // namespace

ErrorPresentation present(const SessionFailure& failure) {
    switch (failure.kind()) {
        case SessionFailureKind::serverFailed:
            return presentServerFailed(failure);
        case SessionFailureKind::deviceBusy:
            return presentation(Key::anotherAdb, std::nullopt, {retry});
        case SessionFailureKind::versionMismatch:
            return presentation(Key::versionMismatch, std::nullopt, {copyDiagnostics});
        case SessionFailureKind::decoderFailed:
            return presentation(Key::decoderFailed, std::nullopt, {retry, copyDiagnostics});
        case SessionFailureKind::disconnected:
            return presentation(Key::waitingForPhone, std::nullopt, {backToLibrary});
    }
    return presentation(Key::generic, std::nullopt, {retry, copyDiagnostics});
}

ErrorPresentation presentEnded(const SessionFailure& failure) {
    if (failure.kind() == SessionFailureKind::disconnected) {
        return presentation(Key::streamStopped, std::nullopt, {retry, backToLibrary});
    }
    return present(failure);
}

ErrorPresentation present(const ServerError& error) {
    switch (error.kind()) {
        case ServerErrorKind::versionMismatch:
            return presentation(Key::versionMismatch, error.serverOutput(), {copyDiagnostics});
        case ServerErrorKind::serverDied:
            return presentation(Key::serverStopped, error.serverOutput(), {retry, copyDiagnostics});
        case ServerErrorKind::connectTimeout:
            return presentation(Key::connectTimeout, std::nullopt, {retry, copyDiagnostics});
        case ServerErrorKind::streamDisabled:
            return presentation(Key::streamDisabled, std::nullopt, {retry, copyDiagnostics});
        case ServerErrorKind::configurationError:
            return presentation(Key::encoderRejected, std::nullopt, {retry, copyDiagnostics});
    }
    return presentation(Key::generic, std::nullopt, {retry, copyDiagnostics});
}

std::optional<ErrorPresentation> present(const DeviceLinkState& state) {
    // The reason is the log's: it names cases of this program ("notFound").
    if (const auto* failed = std::get_if<DeviceLinkState::Failed>(&state.value)) {
        return presentation(linkKey(failed->cause), std::nullopt, {retry, copyDiagnostics});
    }
    if (std::holds_alternative<DeviceLinkState::Busy>(state.value)) {
        return presentation(Key::anotherAdb, std::nullopt, {retry});
    }
    return std::nullopt;
}

QString connectionError(LinkFailure cause) {
    return QCoreApplication::translate("ErrorPresenter", linkKey(cause));
}

}  // namespace ErrorPresenter

}  // namespace qm
