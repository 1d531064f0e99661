#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Desktop/SingleInstance.h"
#include "QuillmereCore/Log.h"

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

TEST(SingleInstanceTest, NoSocketIsMadeOutsideAFolderOfTheUsersOwnThatOnlyTheUserEnters) {
    QTemporaryDir folder;
    const QString open = folder.filePath("open");
    const QString link = folder.filePath("link");
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    ASSERT_TRUE(QFile::link(folder.path(), link));
    for (const QString& place : {open, link}) {
        const QString name = place + "/instance";
        const SingleInstance first(name);
        const SingleInstance later(name);
        EXPECT_TRUE(first.isPrimary() && later.isPrimary()) << place.toStdString();
        EXPECT_FALSE(QFileInfo::exists(name)) << place.toStdString();
    }

    // Qt refuses its fallback runtime folder when it is open to others; the warning names it.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temporary = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(folder.path()));
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    ASSERT_TRUE(fallback.startsWith(folder.path()));
    ASSERT_EQ(::chmod(QFile::encodeName(fallback).constData(), 0755), 0);
    EXPECT_TRUE(SingleInstance(SingleInstance::standardName()).isPrimary());
    EXPECT_NE(Log::recentEntries().back().message.find(fallback.toStdString() + " is not"),
              std::string::npos);
    qputenv("XDG_RUNTIME_DIR", runtime);  // empty is as unset
    qputenv("TMPDIR", temporary);
}

}  // namespace
}  // namespace qm
