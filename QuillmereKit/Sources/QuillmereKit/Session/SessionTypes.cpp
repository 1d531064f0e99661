#include "QuillmereKit/Session/SessionTypes.h"

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/Log.h"
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

SessionFailure SessionFailure::serverFailed(std::string text, bool quotesPhone) {
    std::string message = caseWithText("serverFailed", text);
    return SessionFailure(Kind::serverFailed, message, std::move(text), quotesPhone);
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
    try {
        std::rethrow_exception(error);
    } catch (const SessionFailure& f) {
        return f;
    } catch (const ServerError& e) {
        if (e.kind() == ServerErrorKind::versionMismatch) {
            return SessionFailure::versionMismatch();
        }
        return SessionFailure::serverFailed(e.caseText(), quotesPhone(error));
    } catch (const UsbError& e) {
        if (e.kind() == UsbErrorKind::exclusiveAccess) {
            return SessionFailure::deviceBusy();
        }
        return SessionFailure::serverFailed(e.caseText());
    } catch (const ByteIOError&) {
        return SessionFailure::disconnected();
    } catch (const AdbError& e) {
        if (e.kind() == AdbErrorKind::closed) {
            return SessionFailure::disconnected();
        }
        return SessionFailure::serverFailed(e.caseText());
    } catch (const ProgramError& e) {
        return SessionFailure::serverFailed(e.caseText(), quotesPhone(error));
    } catch (const std::exception& e) {
        return SessionFailure::serverFailed(e.what());
    } catch (...) {
        return SessionFailure::serverFailed("unknown error");
    }
}

}  // namespace qm
