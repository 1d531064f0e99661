#include "Support/FakePhoneServices.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include <fmt/format.h>
#include <openssl/evp.h>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/DeviceInfo.h"
#include "Support/FakeDeviceServer.h"

namespace qm::test {

namespace {

constexpr std::size_t syncHeaderBytes = 8;
constexpr std::uint32_t maxSyncSpec = 1024;
constexpr std::uint32_t maxSyncPiece = 65536;

std::shared_ptr<const Bytes> shared(std::string_view text) {
    const ByteView bytes = asBytes(text);
    return std::make_shared<const Bytes>(bytes.begin(), bytes.end());
}

// The URL of "am start -a android.intent.action.VIEW -d URL", read as the phone's shell reads
// the one word: quoted parts joined, `\'` a quote. None for another command or a broken word.
std::optional<std::string> viewURL(const std::string& command) {
    constexpr std::string_view prefix = "am start -a android.intent.action.VIEW -d ";
    if (!command.starts_with(prefix)) {
        return std::nullopt;
    }
    std::string url;
    for (std::size_t i = prefix.size(); i < command.size(); ++i) {
        if (command[i] == '\'') {
            const std::size_t close = command.find('\'', i + 1);
            if (close == std::string::npos) {
                return std::nullopt;
            }
            url.append(command, i + 1, close - i - 1);
            i = close;
        } else if (command[i] == '\\' && i + 1 < command.size()) {
            url.push_back(command[++i]);
        } else if (command[i] == ' ') {
            return std::nullopt;  // a second word: more than the URL reaches the shell
        } else {
            url.push_back(command[i]);
        }
    }
    return url;
}

std::optional<std::string> fromBase64(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes(text.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) {
        return std::nullopt;
    }
    // The block decoder counts the padding as bytes.
    bytes.resize(static_cast<std::size_t>(length) - std::size_t(text.ends_with('=')) -
                 std::size_t(text.ends_with("==")));
    return bytes;
}

class ShellService final : public FakeService {
public:
    ShellService(FakePhoneServices& phone, std::string command)
        : phone_(phone), command_(std::move(command)) {}

    void opened(FakeStreamEnd& stream) override {
        const FakePhoneServices::ShellAnswer answer = phone_.runShell(command_);
        stream.send(answer.output);
        if (!answer.keepsRunning) {
            stream.finish();
        }
    }
    void received(FakeStreamEnd&, ByteView) override {}  // stdin is not read

private:
    FakePhoneServices& phone_;
    const std::string command_;
};

// Reads sync requests as they come, whatever the WRTE boundaries.
class SyncService final : public FakeService {
public:
    explicit SyncService(FakePhoneServices& phone) : phone_(phone) {}

    void received(FakeStreamEnd& stream, ByteView data) override {
        while (!data.empty() && !broken_) {
            const std::size_t wanted = expect_ == Expect::header ? syncHeaderBytes : remaining_;
            const std::size_t have = expect_ == Expect::header ? header_.size() : 0;
            const std::size_t take = std::min(wanted - have, data.size());
            const ByteView piece = data.first(take);
            data = data.subspan(take);
            switch (expect_) {
                case Expect::header:
                    header_.insert(header_.end(), piece.begin(), piece.end());
                    if (header_.size() == syncHeaderBytes) {
                        onRequest(stream);
                    }
                    break;
                case Expect::spec:
                    spec_.append(asText(piece));
                    remaining_ -= take;
                    if (remaining_ == 0) {
                        onSpec(stream);
                    }
                    break;
                case Expect::data:
                    file_.data.insert(file_.data.end(), piece.begin(), piece.end());
                    remaining_ -= take;
                    if (remaining_ == 0) {
                        expect_ = Expect::header;
                    }
                    break;
            }
        }
    }

    void closedByHost(FakeStreamEnd& stream) override {
        if (answeredOkay_ && !quit_) {
            stream.violation("host closed sync without QUIT");
        }
    }

private:
    enum class Expect { header, spec, data };

    void fail(FakeStreamEnd& stream, std::string what) {
        stream.violation("sync: " + std::move(what));
        broken_ = true;
    }

    void onRequest(FakeStreamEnd& stream) {
        const std::string id(asText(ByteView(header_).first(4)));
        const std::uint32_t argument = LittleEndian::u32(header_, 4);
        header_.clear();
        if (quit_) {
            return fail(stream, id + " after QUIT");
        }
        if (id == "SEND") {
            if (sending_) {
                return fail(stream, "SEND inside a transfer");
            }
            if (argument == 0 || argument > maxSyncSpec) {
                return fail(stream, fmt::format("SEND spec of {} bytes", argument));
            }
            spec_.clear();
            remaining_ = argument;
            expect_ = Expect::spec;
        } else if (id == "DATA") {
            if (!sending_) {
                return fail(stream, "DATA outside a transfer");
            }
            if (argument == 0 || argument > maxSyncPiece) {
                return fail(stream, fmt::format("DATA piece of {} bytes", argument));
            }
            remaining_ = argument;
            expect_ = Expect::data;
        } else if (id == "DONE") {
            if (!sending_) {
                return fail(stream, "DONE outside a transfer");
            }
            sending_ = false;
            file_.mtime = argument;
            reply(stream, phone_.storeFile(path_, std::exchange(file_, {})));
        } else if (id == "QUIT") {
            quit_ = true;
            stream.finish();
        } else {
            fail(stream, "unknown request '" + id + "'");
        }
    }

    void onSpec(FakeStreamEnd& stream) {
        expect_ = Expect::header;
        const std::size_t comma = spec_.rfind(',');
        const std::string_view digits =
            comma == std::string::npos ? "" : std::string_view(spec_).substr(comma + 1);
        std::uint32_t mode = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), mode);
        if (comma == 0 || digits.empty() || error != std::errc() ||
            end != digits.data() + digits.size()) {
            return fail(stream, "SEND spec \"" + spec_ + "\" is not path,mode");
        }
        path_ = spec_.substr(0, comma);
        file_ = FakeFile{phone_.fileBuffer(), mode, 0};
        sending_ = true;
    }

    void reply(FakeStreamEnd& stream, const std::optional<std::string>& failure) {
        Bytes out(failure ? "FAIL" : "OKAY", (failure ? "FAIL" : "OKAY") + 4);
        LittleEndian::append(failure ? static_cast<std::uint32_t>(failure->size()) : 0, out);
        if (failure) {
            out.insert(out.end(), failure->begin(), failure->end());
        } else {
            answeredOkay_ = true;
        }
        stream.send(std::make_shared<const Bytes>(std::move(out)));
    }

    FakePhoneServices& phone_;
    Expect expect_ = Expect::header;
    Bytes header_;
    std::string spec_;
    std::size_t remaining_ = 0;
    std::string path_;
    FakeFile file_;
    bool sending_ = false;
    bool answeredOkay_ = false;
    bool quit_ = false;
    bool broken_ = false;
};

// An accepted named service: keeps what the host writes; the test answers through the phone.
class RecordingService final : public FakeService {
public:
    RecordingService(FakePhoneServices& phone, std::uint32_t hostID)
        : phone_(phone), hostID_(hostID) {}

    void received(FakeStreamEnd&, ByteView data) override { phone_.record(hostID_, data); }

private:
    FakePhoneServices& phone_;
    const std::uint32_t hostID_;
};

}  // namespace

FakePhoneServices::FakePhoneServices() {
    answerShell(std::string(DeviceInfoQuery::command), defaultDeviceInfo);
}

void FakePhoneServices::answerShell(const std::string& command, std::string_view output) {
    std::lock_guard lock(mutex_);
    shellAnswers_[command] = {shared(output)};
}

void FakePhoneServices::hangShell(const std::string& command, std::string_view output) {
    std::lock_guard lock(mutex_);
    shellAnswers_[command] = {shared(output), true};
}

void FakePhoneServices::answerShell(const std::string& command, Bytes output) {
    std::lock_guard lock(mutex_);
    shellAnswers_[command] = {std::make_shared<const Bytes>(std::move(output))};
}

void FakePhoneServices::failPush(const std::string& path, std::string text) {
    std::lock_guard lock(mutex_);
    pushFailures_[path] = std::move(text);
}

void FakePhoneServices::acceptService(const std::string& name) {
    std::lock_guard lock(mutex_);
    accepted_.insert(name);
}

void FakePhoneServices::routeToServer(FakeDeviceServer* server) {
    std::lock_guard lock(mutex_);
    server_ = server;
}

std::vector<std::string> FakePhoneServices::shellCommands() const {
    std::lock_guard lock(mutex_);
    return shellCommands_;
}

std::vector<std::string> FakePhoneServices::openedURLs() const {
    std::lock_guard lock(mutex_);
    return openedURLs_;
}

std::optional<FakeFile> FakePhoneServices::file(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto it = files_.find(path);
    return it == files_.end() ? std::nullopt : std::optional(it->second);
}

std::size_t FakePhoneServices::fileCount() const {
    std::lock_guard lock(mutex_);
    return files_.size();
}

Bytes FakePhoneServices::receivedOn(std::uint32_t hostID) const {
    std::lock_guard lock(mutex_);
    const auto it = received_.find(hostID);
    return it == received_.end() ? Bytes() : it->second;
}

std::unique_ptr<FakeService> FakePhoneServices::make(const std::string& name,
                                                     std::uint32_t hostID) {
    constexpr std::string_view shellPrefix = "shell:";
    FakeDeviceServer* server = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (name.starts_with("localabstract:") || name.starts_with("shell:CLASSPATH=")) {
            server = accepted_.contains(name) ? nullptr : server_;
        }
    }
    if (server) {
        // Outside the lock: the server looks at the file table.
        return server->open(name, hostID);
    }
    if (name.starts_with(shellPrefix)) {
        return std::make_unique<ShellService>(*this, name.substr(shellPrefix.size()));
    }
    if (name == "sync:") {
        return std::make_unique<SyncService>(*this);
    }
    std::lock_guard lock(mutex_);
    if (!accepted_.contains(name)) {
        return nullptr;
    }
    received_.erase(hostID);
    return std::make_unique<RecordingService>(*this, hostID);
}

FakePhoneServices::ShellAnswer FakePhoneServices::runShell(const std::string& command) {
    if (const std::optional<std::string> url = viewURL(command)) {
        return openInBrowser(command, *url);
    }
    std::lock_guard lock(mutex_);
    shellCommands_.push_back(command);
    if (const auto it = shellAnswers_.find(command); it != shellAnswers_.end()) {
        return it->second;
    }
    const std::string program = command.substr(0, command.find(' '));
    return {shared("/system/bin/sh: " + program + ": inaccessible or not found\n")};
}

FakePhoneServices::ShellAnswer FakePhoneServices::openInBrowser(const std::string& command,
                                                                const std::string& url) {
    constexpr std::string_view dataPrefix = "data:text/html;base64,";
    constexpr std::string_view filePrefix = "file://";
    std::optional<std::string> page;
    FakeDeviceServer* server = nullptr;
    {
        std::lock_guard lock(mutex_);
        shellCommands_.push_back(command);
        openedURLs_.push_back(url);
        server = server_;
        if (url.starts_with(dataPrefix)) {
            page = fromBase64(std::string_view(url).substr(dataPrefix.size()));
        } else if (url.starts_with(filePrefix)) {
            if (const auto file = files_.find(url.substr(filePrefix.size()));
                file != files_.end()) {
                page = std::string(asText(file->second.data));
            }
        }
    }
    if (server && page) {
        server->showPage(*page);
    }
    // The browser starts whatever it finds at the URL; a missing page shows its error there.
    return {shared("Starting: Intent { act=android.intent.action.VIEW }\n")};
}

std::optional<std::string> FakePhoneServices::storeFile(const std::string& path, FakeFile file) {
    std::lock_guard lock(mutex_);
    if (const auto it = pushFailures_.find(path); it != pushFailures_.end()) {
        return it->second;
    }
    if (const auto it = files_.find(path); it != files_.end()) {
        spare_ = std::exchange(it->second.data, std::move(file.data));
        spare_.clear();
        it->second.mode = file.mode;
        it->second.mtime = file.mtime;
    } else {
        files_.emplace(path, std::move(file));
    }
    return std::nullopt;
}

Bytes FakePhoneServices::fileBuffer() {
    std::lock_guard lock(mutex_);
    return std::exchange(spare_, {});
}

void FakePhoneServices::record(std::uint32_t hostID, ByteView data) {
    std::lock_guard lock(mutex_);
    Bytes& bytes = received_[hostID];
    bytes.insert(bytes.end(), data.begin(), data.end());
}

}  // namespace qm::test
