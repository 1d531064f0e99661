#include "Input/KeyWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Input/KeyWatcherProtocol.h"
#include "QuillmereCore/Log.h"

extern char** environ;

namespace qm {
namespace {

constexpr const char* programName = "vantorel-keys";
// A watcher that has not ended this long after the app let go of it is stuck, or stopped.
constexpr int endLimitMs = 2000;

}  // namespace

std::string KeyWatcher::installed() {
    if (!QCoreApplication::instance()) {
        return {};
    }
    const QDir executable(QCoreApplication::applicationDirPath());
    for (const QString& place : {QStringLiteral("%1"), QStringLiteral("../libexec/vantorel/%1")}) {
        const QFileInfo program(executable.filePath(place.arg(QLatin1String(programName))));
        if (program.isFile() && program.isExecutable()) {
            return QDir::cleanPath(program.filePath()).toStdString();
        }
    }
    return {};
}

KeyWatcher::KeyWatcher(const std::string& program, std::function<void()> ended)
    : ended_(std::move(ended)) {
    if (program.empty()) {
        Log::input().warn("no {} beside the app: an Alt handed on to the desktop goes up at once",
                          programName);
        return;
    }
    std::array<int, 2> pair{};
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair.data()) != 0) {
        Log::input().warn("cannot start {}: {}", programName, std::strerror(errno));
        return;
    }
    socket_ = FileDescriptor(pair[0]);
    const FileDescriptor theirs(pair[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), keywatcher::socketFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The app's own handling of quit signals blocks them: the watcher starts with none blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::array<char*, 2> argv{const_cast<char*>(programName), nullptr};
    const int failed =
        posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        Log::input().warn("cannot start {}: {}", program, std::strerror(failed));
        pid_ = -1;
        socket_ = FileDescriptor();
        return;
    }
    process_ = FileDescriptor(int(syscall(SYS_pidfd_open, pid_, 0)));
    running_ = true;
    answering_ = std::thread([this] { answer(); });
}

KeyWatcher::~KeyWatcher() {
    running_ = false;
    if (socket_) {
        // The watcher sees the pair closed, and the answering thread its end.
        shutdown(socket_.get(), SHUT_RDWR);
    }
    if (answering_.joinable()) {
        answering_.join();
    }
}

void KeyWatcher::guard(std::uint8_t keycode) {
    tell(keywatcher::Kind::guard, keycode);
}

void KeyWatcher::unguard(std::uint8_t keycode) {
    tell(keywatcher::Kind::unguard, keycode);
}

void KeyWatcher::tell(keywatcher::Kind kind, std::uint8_t keycode) {
    if (!running_) {
        return;
    }
    const keywatcher::Packet packet{kind, keycode};
    if (send(socket_.get(), &packet, sizeof packet, MSG_DONTWAIT | MSG_NOSIGNAL) != sizeof packet) {
        // Taken for gone: the answering thread sees the pair end, and says so.
        shutdown(socket_.get(), SHUT_RDWR);
    }
}

void KeyWatcher::answer() {
    pthread_setname_np(pthread_self(), "keys.watch");
    while (true) {
        keywatcher::Packet packet;
        const ssize_t got = recv(socket_.get(), &packet, sizeof packet, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (got == sizeof packet && packet.kind == keywatcher::Kind::ping) {
            const keywatcher::Packet answer{keywatcher::Kind::answer, 0};
            send(socket_.get(), &answer, sizeof answer, MSG_DONTWAIT | MSG_NOSIGNAL);
        }
    }
    if (running_.exchange(false)) {
        Log::input().warn("{} ended: it is started again for the next key kept for the desktop",
                          programName);
        if (ended_) {
            ended_();
        }
    }
    pollfd ended{process_.get(), POLLIN, 0};
    if (!process_ || poll(&ended, 1, endLimitMs) <= 0) {
        kill(pid_, SIGKILL);
    }
    waitpid(pid_, nullptr, 0);
}

}  // namespace qm
