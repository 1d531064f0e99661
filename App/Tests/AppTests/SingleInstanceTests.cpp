#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Desktop/SingleInstance.h"

namespace qm {
namespace {

// What a crash leaves behind: the socket's file, bound once, with no one listening.
void leaveDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    ASSERT_LT(std::size_t(name.size()), sizeof(address.sun_path));
    std::copy(name.begin(), name.end(), address.sun_path);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

TEST(SingleInstanceTest, ALaterStartRaisesTheFirstAndAStaleSocketBlocksNoStart) {
    QTemporaryDir folder;
    const QString name = folder.filePath("instance");
    leaveDeadSocket(name);

    auto first = std::make_unique<SingleInstance>(name);
    EXPECT_TRUE(first->isPrimary()) << "the crashed instance's socket is taken over";
    QSignalSpy raised(first.get(), &SingleInstance::raiseRequested);
    for (int start = 1; start <= 2; ++start) {
        const SingleInstance later(name);
        EXPECT_FALSE(later.isPrimary());
        ASSERT_TRUE(raised.count() >= start || raised.wait()) << start;
    }
    EXPECT_EQ(raised.count(), 2);

    first.reset();
    EXPECT_TRUE(SingleInstance(name).isPrimary()) << "after the first quit";
}

}  // namespace
}  // namespace qm
