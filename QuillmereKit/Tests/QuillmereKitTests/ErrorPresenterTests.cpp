#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"

namespace qm {
namespace {

using enum ErrorPresentation::Action;
namespace Key = ErrorPresenter::Key;

ErrorPresentation expected(const char* key, std::optional<QString> detail,
                           std::vector<ErrorAction> actions) {
    return {QString::fromUtf8(key), std::move(detail), std::move(actions)};
}

TEST(ErrorPresenterTest, EveryFailureOfTheThreeVocabulariesHasItsWordsAndButtons) {
    const DeviceInfo phone{"serial", "Maker", "Model", "14", 34};
    struct Case {
        std::string name;
        std::optional<ErrorPresentation> presentation;
        std::optional<ErrorPresentation> expected;
    };
    const std::vector<Case> cases = {
        {"serverFailed", ErrorPresenter::present(SessionFailure::serverFailed("boom")),
         expected(Key::generic, "boom", {retry, copyDiagnostics})},
        {"serverFailed empty", ErrorPresenter::present(SessionFailure::serverFailed("")),
         expected(Key::generic, "", {retry, copyDiagnostics})},
        {"deviceBusy", ErrorPresenter::present(SessionFailure::deviceBusy()),
         expected(Key::anotherAdb, std::nullopt, {retry})},
        {"session versionMismatch", ErrorPresenter::present(SessionFailure::versionMismatch()),
         expected(Key::versionMismatch, std::nullopt, {copyDiagnostics})},
        {"decoderFailed", ErrorPresenter::present(SessionFailure::decoderFailed()),
         expected(Key::decoderFailed, std::nullopt, {retry, copyDiagnostics})},
        {"disconnected", ErrorPresenter::present(SessionFailure::disconnected()),
         expected(Key::waitingForPhone, std::nullopt, {backToLibrary})},
        {"disconnected for good", ErrorPresenter::presentEnded(SessionFailure::disconnected()),
         expected(Key::streamStopped, std::nullopt, {retry, backToLibrary})},
        {"server versionMismatch", ErrorPresenter::present(ServerError::versionMismatch("v9")),
         expected(Key::versionMismatch, "v9", {copyDiagnostics})},
        {"serverDied", ErrorPresenter::present(ServerError::serverDied("Aborted")),
         expected(Key::serverStopped, "Aborted", {retry, copyDiagnostics})},
        {"connectTimeout", ErrorPresenter::present(ServerError::connectTimeout()),
         expected(Key::connectTimeout, std::nullopt, {retry, copyDiagnostics})},
        {"streamDisabled", ErrorPresenter::present(ServerError::streamDisabled()),
         expected(Key::streamDisabled, std::nullopt, {retry, copyDiagnostics})},
        {"configurationError", ErrorPresenter::present(ServerError::configurationError()),
         expected(Key::encoderRejected, std::nullopt, {retry, copyDiagnostics})},
        // The link's reason names cases of this program: the log has it, the person the cause.
        {"failed",
         ErrorPresenter::present(
             DeviceLinkState::failed(LinkFailure::unplugged, "ADB connection lost: notFound")),
         expected(Key::unplugged, std::nullopt, {retry, copyDiagnostics})},
        {"busy", ErrorPresenter::present(DeviceLinkState::busy()),
         ErrorPresenter::present(SessionFailure::deviceBusy())},
        {"noDevice", ErrorPresenter::present(DeviceLinkState::noDevice()), std::nullopt},
        {"unauthorized",
         ErrorPresenter::present(DeviceLinkState::unauthorized(UsbAdbDevice::make(1, "s", "p"))),
         std::nullopt},
        {"connected", ErrorPresenter::present(DeviceLinkState::connected(phone)), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.presentation, c.expected);
    }

    // A stream that failed on an error of any layer: words, never the error's case.
    const auto failed = [](auto error) {
        return ErrorPresenter::presentEnded(failure(std::make_exception_ptr(std::move(error))));
    };
    const std::vector<Case> streams = {
        {"open timed out", failed(AdbError::timedOut("the phone did not answer the opening of x")),
         expected(Key::connectTimeout, std::nullopt, {retry, copyDiagnostics})},
        {"sockets timed out", failed(ServerError::connectTimeout()),
         expected(Key::connectTimeout, std::nullopt, {retry, copyDiagnostics})},
        {"usb", failed(UsbError::io(-7)),
         expected(Key::linkFailed, std::nullopt, {retry, copyDiagnostics})},
        {"adb", failed(AdbError::protocolViolation("bad")),
         expected(Key::linkFailed, std::nullopt, {retry, copyDiagnostics})},
        {"server died", failed(ServerError::serverDied("Aborted\n")),
         expected(Key::serverStopped, "Aborted\n", {retry, copyDiagnostics})},
        {"push refused", failed(AdbError::syncFailed("No space left on device")),
         expected(Key::generic, "No space left on device", {retry, copyDiagnostics})},
        {"demo", failed(DemoError::unreadable("badMagic")),
         expected(Key::demoUnreadable, std::nullopt, {copyDiagnostics})},
        {"other", failed(BinaryError::invalid("unknown device message type 9")),
         expected(Key::generic, "unknown device message type 9", {retry, copyDiagnostics})},
    };
    for (const Case& c : streams) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.presentation, c.expected);
    }

    // Said after "Connection error: " wherever a phone could not be used.
    const std::vector<std::pair<LinkFailure, QString>> links = {
        {LinkFailure::keyUnavailable,
         "Vantorel couldn’t read or make its key for phones. Check that your home folder can be "
         "written to, then plug the phone in again."},
        {LinkFailure::usbUnavailable,
         "The phone’s USB connection couldn’t be opened. Unplug the phone and plug it in again."},
        {LinkFailure::unplugged, "The phone was unplugged. Plug it in again."},
        {LinkFailure::refused,
         "The phone refused this computer. Unplug it, plug it in again and tap “Allow” on the "
         "phone."},
        {LinkFailure::noAnswer,
         "The phone didn’t answer. Unlock it, then unplug it and plug it in again."},
        {LinkFailure::handshakeFailed,
         "The phone didn’t finish connecting. Unplug it and plug it in again."},
        {LinkFailure::androidTooOld, "Android 11+ required"},
        {LinkFailure::connectionUnstable,
         "The connection to the phone kept breaking off. Check the cable, then plug the phone in "
         "again."},
    };
    for (const auto& [cause, text] : links) {
        EXPECT_EQ(ErrorPresenter::connectionError(cause), text);
    }

    const ErrorPresentation disconnected = ErrorPresenter::present(SessionFailure::disconnected());
    EXPECT_EQ(disconnected.message(), QString::fromUtf8("Waiting for the phone…"));
    EXPECT_EQ(disconnected.actionNames(), QStringList{"backToLibrary"});
    EXPECT_EQ(QString::fromUtf8(ErrorPresenter::allKeys.back()), "Something went wrong.");
}

}  // namespace
}  // namespace qm
