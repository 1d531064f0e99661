#include "QuillmereKit/Session/SessionTypes.h"

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "ServerProtocol/ExtClient.h"
#include "ServerProtocol/ServerLauncher.h"

namespace qm {

namespace {

bool quotesPhone(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const SessionFailure& f) {
        return f.quotesPhone();
    } catch (const ServerError& e) {
        return !e.serverOutput().empty();
    } catch (const ExtClientError& e) {
        return e.kind() == ExtClientErrorKind::serverError;
    } catch (...) {
        return false;
    }
}

}  // namespace

SessionFailure SessionFailure::serverFailed(std::string text, bool quotesPhone, FailureCause cause,
                                            std::optional<std::string> reason) {
    std::string message = caseWithText("serverFailed", text);
    std::string shown = reason ? std::move(*reason) : text;
    return SessionFailure(Kind::serverFailed, message, std::move(text), quotesPhone, cause,
                          std::move(shown));
}

std::string logged(const SessionFailure& failure) {
    return failure.quotesPhone()
               ? fmt::format("{}({})", caseName(failure.kind()), Log::privateValue(failure.text()))
               : failure.what();
}

std::string logged(const std::exception_ptr& error) {
    return quotesPhone(error) ? Log::privateValue(describe(error)) : describe(error);
}

std::string_view caseName(SessionFailureKind kind) noexcept {
    switch (kind) {
        case SessionFailureKind::serverFailed:
            return "serverFailed";
        case SessionFailureKind::deviceBusy:
            return "deviceBusy";
        case SessionFailureKind::versionMismatch:
            return "versionMismatch";
        case SessionFailureKind::decoderFailed:
            return "decoderFailed";
        case SessionFailureKind::disconnected:
            return "disconnected";
    }
    return "";
}

QString SessionPhase::failureKindName() const {
    if (!failure_) {
        return {};
    }
    const std::string_view name = caseName(failure_->kind());
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString SessionPhase::failureText() const {
    return failure_ ? QString::fromStdString(failure_->text()) : QString();
}

SessionFailure failure(const std::exception_ptr& error) {
    if (!error) {
        return SessionFailure::serverFailed("unknown error");
    }
    // The case for the log, the error's own words for the person.
    const auto told = [&](const ProgramError& e, FailureCause cause, std::string reason) {
        return SessionFailure::serverFailed(e.caseText(), quotesPhone(error), cause,
                                            std::move(reason));
    };
    try {
        std::rethrow_exception(error);
    } catch (const SessionFailure& f) {
        return f;
    } catch (const ServerError& e) {
        switch (e.kind()) {
            case ServerErrorKind::versionMismatch:
                return SessionFailure::versionMismatch();
            case ServerErrorKind::serverDied:
                return told(e, FailureCause::serverStopped, e.serverOutput());
            case ServerErrorKind::connectTimeout:
                return told(e, FailureCause::timedOut, e.what());
            case ServerErrorKind::streamDisabled:
                return told(e, FailureCause::streamDisabled, e.what());
            case ServerErrorKind::configurationError:
                return told(e, FailureCause::encoderRejected, e.what());
        }
        return told(e, FailureCause::other, e.what());
    } catch (const UsbError& e) {
        if (e.kind() == UsbErrorKind::exclusiveAccess) {
            return SessionFailure::deviceBusy();
        }
        return told(e, FailureCause::linkFailed, e.what());
    } catch (const ByteIOError&) {
        return SessionFailure::disconnected();
    } catch (const AdbError& e) {
        switch (e.kind()) {
            case AdbErrorKind::closed:
                return SessionFailure::disconnected();
            case AdbErrorKind::timedOut:
                return told(e, FailureCause::timedOut, e.what());
            case AdbErrorKind::syncFailed:
                return told(e, FailureCause::other, e.what());  // the phone's own words
            case AdbErrorKind::protocolViolation:
            case AdbErrorKind::streamOpenFailed:
            case AdbErrorKind::authRejected:
                break;
        }
        return told(e, FailureCause::linkFailed, e.what());
    } catch (const DemoError& e) {
        return told(e, FailureCause::demoUnreadable, e.what());
    } catch (const ProgramError& e) {
        return told(e, FailureCause::other, e.what());
    } catch (const std::exception& e) {
        return SessionFailure::serverFailed(e.what());
    } catch (...) {
        return SessionFailure::serverFailed("unknown error");
    }
}

}  // namespace qm
