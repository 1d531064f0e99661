#include <thread>

#include <gtest/gtest.h>

#include "QuillmereCore/MemoryByteChannel.h"
#include "ServerProtocol/ServerLogChannel.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class ServerLogChannelTest : public ::testing::Test {
protected:
    std::shared_ptr<MemoryByteChannel> raw_ = std::make_shared<MemoryByteChannel>();
    ServerLogChannel log_{raw_};

    bool mirrored(std::string_view text) {
        return test::eventually([&] { return log_.outputSoFar() == text; });
    }
};

TEST_F(ServerLogChannelTest, MirrorsEverythingButCapturesTheFirst64KiB) {
    Bytes output(70000);
    for (std::size_t i = 0; i < output.size(); ++i) {
        output[i] = static_cast<std::uint8_t>('a' + i % 26);
    }
    raw_->feed(output);
    raw_->finish();
    EXPECT_EQ(log_.readExactly(output.size()), output);
    EXPECT_THROW(log_.readExactly(1), ByteIOError);
    const auto finished = log_.finishedOutput();
    ASSERT_TRUE(finished);
    EXPECT_EQ(*finished, std::string(output.begin(), output.begin() + 65536));
}

TEST_F(ServerLogChannelTest, RunningServerHasOutputButNoFinishedOutput) {
    raw_->feed(asBytes("ERROR: does not match the client\n"));
    ASSERT_TRUE(mirrored("ERROR: does not match the client\n"));
    EXPECT_EQ(log_.finishedOutput(), std::nullopt);
    EXPECT_EQ(log_.outputAfterExit(1ms), "ERROR: does not match the client\n");
    EXPECT_EQ(log_.outputAfterExit(0ms), "ERROR: does not match the client\n");
}

TEST_F(ServerLogChannelTest, OutputAfterExitReturnsAsSoonAsTheServerEnds) {
    std::jthread server([&] {
        raw_->feed(asBytes("bye \xE2\x9C"));
        raw_->finish();
    });
    // Returning at all means returning at the exit: waiting out a day outlasts the test.
    // Cut inside a character: the tail decodes as one replacement character.
    EXPECT_EQ(log_.outputAfterExit(24h), "bye \xEF\xBF\xBD");
}

TEST_F(ServerLogChannelTest, CloseEndsTheMirrorAfterWhatItAlreadyHas) {
    raw_->feed(asBytes("abc"));
    ASSERT_TRUE(mirrored("abc"));
    log_.write(asBytes("stdin"));
    log_.close();
    EXPECT_TRUE(test::eventually([&] { return log_.finishedOutput().has_value(); }));
    EXPECT_EQ(log_.readExactly(3), Bytes({'a', 'b', 'c'}));
    try {
        log_.readExactly(1);
        ADD_FAILURE() << "read past the end";
    } catch (const ByteIOError& error) {
        EXPECT_EQ(error.kind(), ByteIOErrorKind::endOfStream);
    }
    EXPECT_EQ(raw_->written(), Bytes({'s', 't', 'd', 'i', 'n'}));
    EXPECT_THROW(log_.write(asBytes("x")), ByteIOError);
}

}  // namespace
}  // namespace qm
