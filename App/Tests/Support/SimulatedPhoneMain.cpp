// vantorel-simulated-phone: the application as it runs for a user, with one simulated phone
// plugged into a simulated USB bus in place of the machine's, for looking at every screen that
// needs a phone. Settings, keymaps, recordings and the computers the phone allowed stay in a
// home of its own, shown at start and kept from run to run; one runs in a home at a time. It
// quits on SIGTERM, SIGINT and SIGHUP as the app does. Keys typed in the terminal act as the
// phone's user and its cable:
//
//   a  allow this computer on the phone's prompt      p  pull the cable out
//   k  kill the device server                        r  plug the cable in again
//
// At QM_LOG_LEVEL=debug it prints every touch the phone receives. Arguments go to the
// application (Qt's own, such as -platform).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include <termios.h>
#include <unistd.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/PrivateFolders.h"
#include "SimulatedPhone.h"
#include "TemporaryHome.h"
#include "Windows/QuillmereApp.h"

namespace {

termios savedTerminal{};
bool terminalChanged = false;

void restoreTerminal() {
    if (terminalChanged) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    }
}

// Keys reach the program one at a time, unechoed; the terminal is put back however it ends.
void readKeysOneByOne() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
        return;
    }
    termios raw = savedTerminal;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    terminalChanged = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    std::atexit(restoreTerminal);
}

void say(const char* text) {
    std::printf("simulated phone: %s\n", text);
    std::fflush(stdout);
}

void press(qm::test::SimulatedPhone& phone, char key) {
    switch (key) {
        case 'a':
            try {
                say(phone.allow() ? "this computer is allowed" : "no prompt shows on the phone");
            } catch (const std::exception& error) {
                say(error.what());
            }
            break;
        case 'p':
            say(phone.pullCable() ? "cable pulled" : "the cable is out already");
            break;
        case 'r':
            say(phone.plugIn() ? "cable plugged in" : "the cable is in already");
            break;
        case 'k':
            say(phone.killServer() ? "device server killed" : "no device server runs");
            break;
        default:
            say("keys: a allow, p pull the cable, r plug it in again, k kill the server");
    }
}

}  // namespace

int main(int argc, char** argv) {
    // In the user's data folder: what the app says it saved is there at the next start. As the
    // app's own data, it is the user's alone.
    const QString home = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                             .filePath("vantorel-simulated-phone");
    const std::filesystem::path folder = QFile::encodeName(home).toStdString();
    try {
        qm::createPrivateFolders(folder);
    } catch (const std::exception& error) {
        say(error.what());
        return 1;
    }
    if (!qm::isPrivateFolder(folder)) {
        std::printf(
            "simulated phone: the home %s is not a folder of this user's own with mode "
            "0700; remove it, or set XDG_DATA_HOME to a folder of your own\n",
            qPrintable(home));
        return 1;
    }
    qm::test::useHome(home);
    // A test host: the updater asks no server.
    qputenv("QM_HOSTED_BY_TESTS", "1");
    std::printf("simulated phone: home %s (remove it to start afresh)\n", qPrintable(home));
    using qm::test::SimulatedPhone;
    SimulatedPhone::TouchLog touches;
    if (qm::Log::consoleLevel(std::getenv(qm::Log::levelVariable)) <= spdlog::level::debug) {
        touches = [](const std::string& line) { say(line.c_str()); };
    }

    // Made only by the one instance of this home: a second start brings that one's window
    // forward and ends, as the app does.
    std::optional<SimulatedPhone> made;
    std::optional<qm::QuillmereApp> running;
    try {
        running.emplace(
            argc, argv,
            [&](QSettings& defaults) {
                if (!std::filesystem::exists(
                        SimulatedPhone::clipFile(QM_PHONE_CLIP, qm::VideoCodec::h265)) ||
                    !std::filesystem::exists(QM_PHONE_CLIP)) {
                    say("making the 1080p60 clips, once");
                }
                return made.emplace(QM_PHONE_CLIP, touches).environment(defaults);
            },
            qm::AppHosting{.instanceName = QDir(home).filePath("vantorel.instance"),
                           .lastWords = restoreTerminal});
    } catch (const std::exception& error) {
        say(error.what());
        return 1;
    }
    qm::QuillmereApp& app = *running;
    if (!made) {
        return app.exec();
    }
    SimulatedPhone& phone = *made;
    readKeysOneByOne();
    QSocketNotifier keys(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&keys, &QSocketNotifier::activated, [&] {
        char key = 0;
        if (read(STDIN_FILENO, &key, 1) != 1) {
            keys.setEnabled(false);  // no terminal: the phone stays as it is
            return;
        }
        if (key != '\n') {
            press(phone, key);
        }
    });
    phone.plugIn();
    press(phone, 'h');

    const int result = app.exec();
    for (const std::string& violation : phone.violations()) {
        std::printf("simulated phone: the computer broke the protocol: %s\n", violation.c_str());
    }
    return result;
}
