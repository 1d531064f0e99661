#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "QuillmereCore/Bytes.h"
#include "Support/FakeAdbStreams.h"

namespace qm::test {

class FakeDeviceServer;

struct FakeFile {
    Bytes data;
    std::uint32_t mode = 0;
    std::uint32_t mtime = 0;

    bool operator==(const FakeFile&) const = default;
};

// What the phone serves on its streams, and what the host did with it: "shell:" commands
// answered from a script (a URL to view opens in the browser, which shows the device server
// the page), "sync:" pushes into an in-memory file table, and named services the
// test accepts, whose received bytes are kept, and the device server's start command and sockets,
// once a server is routed. Every other service is refused. Thread-safe.
class FakePhoneServices {
public:
    // Output of DeviceInfoQuery's command by default: a phone on Android 14 (SDK 34).
    static constexpr std::string_view defaultDeviceInfo = "QM0001\nQuillmere\nQM One\n14\n34\n";

    FakePhoneServices();

    void answerShell(const std::string& command, std::string_view output);
    void answerShell(const std::string& command, Bytes output);
    // The command prints `output` and goes on running: its stream stays open.
    void hangShell(const std::string& command, std::string_view output);
    // Pushes to `path` are answered with FAIL and `text`.
    void failPush(const std::string& path, std::string text);
    void acceptService(const std::string& name);
    // The server's start command and its sockets go to `server` from now on.
    void routeToServer(FakeDeviceServer* server);

    std::vector<std::string> shellCommands() const;
    // The URLs the browser was asked to open, as the shell passed them on.
    std::vector<std::string> openedURLs() const;
    std::optional<FakeFile> file(const std::string& path) const;
    std::size_t fileCount() const;
    // Bytes the host wrote on an accepted service's stream, by the host's stream id.
    Bytes receivedOn(std::uint32_t hostID) const;

    // The service for an OPEN, or none to refuse it.
    std::unique_ptr<FakeService> make(const std::string& name, std::uint32_t hostID);

    // For the services.
    struct ShellAnswer {
        std::shared_ptr<const Bytes> output;
        bool keepsRunning = false;
    };
    ShellAnswer runShell(const std::string& command);
    // The FAIL text for a finished push, or none when the file was stored.
    std::optional<std::string> storeFile(const std::string& path, FakeFile file);
    // An empty buffer for a file being received; a replaced file's, so that pushing the same
    // large file again does not grow fresh memory.
    Bytes fileBuffer();
    void record(std::uint32_t hostID, ByteView data);

private:
    ShellAnswer openInBrowser(const std::string& command, const std::string& url);

    mutable std::mutex mutex_;
    std::map<std::string, ShellAnswer> shellAnswers_;
    std::vector<std::string> shellCommands_;
    std::vector<std::string> openedURLs_;
    std::map<std::string, std::string> pushFailures_;
    std::map<std::string, FakeFile> files_;
    std::set<std::string> accepted_;
    FakeDeviceServer* server_ = nullptr;
    std::map<std::uint32_t, Bytes> received_;
    Bytes spare_;
};

}  // namespace qm::test
