#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

#include "DeviceLink/DeviceLinkState.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "ServerProtocol/ServerLauncher.h"

namespace qm {

// A failure as the user sees it: a message, the failure's own text and the buttons offered.
// Any thread; views read it through its properties.
class ErrorPresentation {
    Q_GADGET
    Q_PROPERTY(QString messageKey MEMBER messageKey CONSTANT)
    Q_PROPERTY(QString message READ message CONSTANT)
    Q_PROPERTY(bool hasDetail READ hasDetail CONSTANT)
    Q_PROPERTY(QString detail READ detailText CONSTANT)
    Q_PROPERTY(QStringList actions READ actionNames CONSTANT)

public:
    // A button's identity too: a presentation lists each at most once.
    enum class Action { retry, copyDiagnostics, backToLibrary };
    Q_ENUM(Action)

    // Its English text is the key itself.
    QString messageKey;
    // The server's or the device link's own text: never localised, and redacted by whoever
    // shows it.
    std::optional<QString> detail;
    std::vector<Action> actions;  // in display order

    // The message in the user's language.
    QString message() const;
    bool hasDetail() const { return detail.has_value(); }
    QString detailText() const { return detail.value_or(QString()); }
    // The actions' names, "retry", "copyDiagnostics", "backToLibrary", for views.
    QStringList actionNames() const;

    bool operator==(const ErrorPresentation&) const = default;
};

using ErrorAction = ErrorPresentation::Action;

// The one place where failures of the session, the device server and the device link get
// their words and buttons.
namespace ErrorPresenter {

// The message keys; the translation context is "ErrorPresenter".
namespace Key {
inline constexpr const char* waitingForPhone =
    QT_TRANSLATE_NOOP("ErrorPresenter", "Waiting for the phone…");
inline constexpr const char* streamStopped =
    QT_TRANSLATE_NOOP("ErrorPresenter",
                      "The stream kept breaking off, so it stopped. Check the cable, then try "
                      "again.");
inline constexpr const char* decoderFailed =
    QT_TRANSLATE_NOOP("ErrorPresenter", "Couldn’t decode the video. Restart the stream.");
inline constexpr const char* anotherAdb = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "Another adb is using the phone. Quit Android Studio or other adb tools, or run “adb "
    "kill-server” in Terminal, then reconnect the cable.");
inline constexpr const char* versionMismatch =
    QT_TRANSLATE_NOOP("ErrorPresenter", "App and server versions don’t match. Reinstall Vantorel.");
inline constexpr const char* connectTimeout = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "The phone didn’t respond in time. Unlock it and check the cable, then try again.");
inline constexpr const char* linkFailed = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "The connection to the phone failed. Unplug the phone, plug it in again, then try again.");
inline constexpr const char* serverStopped = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "Vantorel’s server on the phone stopped. Try again; if it stops again, restart the phone.");
inline constexpr const char* streamDisabled =
    QT_TRANSLATE_NOOP("ErrorPresenter", "The phone refused to capture the screen.");
inline constexpr const char* encoderRejected = QT_TRANSLATE_NOOP(
    "ErrorPresenter", "The phone’s video encoder rejected the settings. Try a lower resolution.");
inline constexpr const char* demoUnreadable = QT_TRANSLATE_NOOP(
    "ErrorPresenter", "The demo stream’s file is damaged, so it can’t play. Reinstall Vantorel.");
// Why a phone could not be used, said after "Connection error: ".
inline constexpr const char* keyUnavailable = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "Vantorel couldn’t read or make its key for phones. Check that your home folder can be "
    "written to, then plug the phone in again.");
inline constexpr const char* usbUnavailable = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "The phone’s USB connection couldn’t be opened. Unplug the phone and plug it in again.");
inline constexpr const char* unplugged =
    QT_TRANSLATE_NOOP("ErrorPresenter", "The phone was unplugged. Plug it in again.");
inline constexpr const char* keyRefused = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "The phone refused this computer. Unplug it, plug it in again and tap “Allow” on the "
    "phone.");
inline constexpr const char* noAnswer = QT_TRANSLATE_NOOP(
    "ErrorPresenter", "The phone didn’t answer. Unlock it, then unplug it and plug it in again.");
inline constexpr const char* handshakeFailed = QT_TRANSLATE_NOOP(
    "ErrorPresenter", "The phone didn’t finish connecting. Unplug it and plug it in again.");
inline constexpr const char* androidTooOld =
    QT_TRANSLATE_NOOP("ErrorPresenter", "Android 11+ required");
inline constexpr const char* connectionUnstable = QT_TRANSLATE_NOOP(
    "ErrorPresenter",
    "The connection to the phone kept breaking off. Check the cable, then plug the phone in "
    "again.");
inline constexpr const char* generic = QT_TRANSLATE_NOOP("ErrorPresenter", "Something went wrong.");
}  // namespace Key

inline constexpr std::array<const char*, 20> allKeys = {
    Key::waitingForPhone, Key::streamStopped,   Key::decoderFailed,      Key::anotherAdb,
    Key::versionMismatch, Key::connectTimeout,  Key::linkFailed,         Key::serverStopped,
    Key::streamDisabled,  Key::encoderRejected, Key::demoUnreadable,     Key::keyUnavailable,
    Key::usbUnavailable,  Key::unplugged,       Key::keyRefused,         Key::noAnswer,
    Key::handshakeFailed, Key::androidTooOld,   Key::connectionUnstable, Key::generic};

ErrorPresentation present(const SessionFailure& failure);
// A stream that failed for good: nothing waits for the phone any more, so a lost phone reads
// as a stopped stream, offered again.
ErrorPresentation presentEnded(const SessionFailure& failure);
ErrorPresentation present(const ServerError& error);
// Nothing where the state is no error.
std::optional<ErrorPresentation> present(const DeviceLinkState& state);
// Why the phone cannot be used, in the user's language.
QString connectionError(LinkFailure cause);

}  // namespace ErrorPresenter

}  // namespace qm
