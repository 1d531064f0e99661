#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "DeviceLink/StreamBuffer.h"
#include "Support/Expect.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// A read on its own thread; parking is seen as the read not finishing in a short while.
template <typename F>
auto parked(F read) {
    auto result = std::async(std::launch::async, read);
    EXPECT_EQ(result.wait_for(30ms), std::future_status::timeout);
    return result;
}

TEST(StreamBuffer, ExactReadsSpanChunksAndKeepTheRest) {
    StreamBuffer buffer;
    EXPECT_TRUE(buffer.readExactly(0).empty());
    buffer.append(test::byteRun(3, 0));
    buffer.append(test::byteRun(5, 3));
    EXPECT_EQ(buffer.readExactly(4), test::byteRun(4, 0));
    std::array<std::uint8_t, 4> into{};
    buffer.readExactly(into);
    EXPECT_EQ(Bytes(into.begin(), into.end()), test::byteRun(4, 4));
    // A chunk that is exactly the answer comes back whole.
    buffer.append(test::byteRun(6, 8));
    EXPECT_EQ(buffer.readExactly(6), test::byteRun(6, 8));
}

TEST(StreamBuffer, ParkedReadWaitsForEveryByte) {
    StreamBuffer buffer;
    auto read = parked([&] { return buffer.readExactly(10); });
    buffer.append(test::byteRun(4, 0));
    buffer.append({});
    buffer.append(test::byteRun(5, 4));
    EXPECT_EQ(read.wait_for(30ms), std::future_status::timeout);
    buffer.append(test::byteRun(1, 9));
    EXPECT_EQ(read.get(), test::byteRun(10, 0));
}

TEST(StreamBuffer, EndOfStreamFailsShortReadsButKeepsTheBytes) {
    StreamBuffer buffer;
    buffer.append(test::byteRun(6, 0));
    auto read = parked([&] { return buffer.readExactly(10); });
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { read.get(); }).kind(), ByteIOErrorKind::endOfStream);
    EXPECT_EQ(buffer.readExactly(6), test::byteRun(6, 0));
    buffer.append(test::byteRun(3, 0));  // dropped after the end
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffer.readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(buffer.readToEnd().empty());
}

TEST(StreamBuffer, ReadToEndCollectsEverythingUntilThePhoneCloses) {
    StreamBuffer buffer;
    auto read = parked([&] { return buffer.readToEnd(); });
    buffer.append(test::byteRun(2, 0));
    buffer.append(test::byteRun(3, 2));
    EXPECT_EQ(read.wait_for(30ms), std::future_status::timeout);
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(read.get(), test::byteRun(5, 0));

    StreamBuffer silent;
    silent.finish(ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(silent.readToEnd().empty());
}

TEST(StreamBuffer, ClosedDropsTheBytesAndFailsEveryRead) {
    StreamBuffer buffer;
    buffer.append(test::byteRun(8, 0));
    auto read = parked([&] { return buffer.readToEnd(); });
    buffer.finish(ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { read.get(); }).kind(), ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffer.readExactly(1); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffer.readToEnd(); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_TRUE(buffer.readExactly(0).empty());
    // Nothing turns closed back into endOfStream.
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffer.readToEnd(); }).kind(),
              ByteIOErrorKind::closed);
}

TEST(StreamBuffer, ClosedAfterEndOfStreamWins) {
    StreamBuffer buffer;
    buffer.append(test::byteRun(4, 0));
    buffer.finish(ByteIOErrorKind::endOfStream);
    buffer.finish(ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffer.readExactly(4); }).kind(),
              ByteIOErrorKind::closed);
}

TEST(StreamBuffer, ASecondWaitingReaderIsRefusedLoudly) {
    StreamBuffer buffer;
    auto first = parked([&] { return buffer.readExactly(2); });
    EXPECT_THROW(buffer.readExactly(1), std::logic_error);
    buffer.append(test::byteRun(2, 0));
    EXPECT_EQ(first.get(), test::byteRun(2, 0));
}

}  // namespace
}  // namespace qm
