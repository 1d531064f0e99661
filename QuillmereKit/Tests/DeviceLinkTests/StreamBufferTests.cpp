#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "DeviceLink/StreamBuffer.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

Bytes run(std::uint8_t first, std::size_t count) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(first + i);
    }
    return out;
}

template <typename F>
ByteIOErrorKind ioFailure(F&& f) {
    try {
        f();
    } catch (const ByteIOError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "expected a ByteIOError";
    return ByteIOErrorKind::endOfStream;
}

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
    buffer.append(run(0, 3));
    buffer.append(run(3, 5));
    EXPECT_EQ(buffer.readExactly(4), run(0, 4));
    std::array<std::uint8_t, 4> into{};
    buffer.readExactly(into);
    EXPECT_EQ(Bytes(into.begin(), into.end()), run(4, 4));
    // A chunk that is exactly the answer comes back whole.
    buffer.append(run(8, 6));
    EXPECT_EQ(buffer.readExactly(6), run(8, 6));
}

TEST(StreamBuffer, ParkedReadWaitsForEveryByte) {
    StreamBuffer buffer;
    auto read = parked([&] { return buffer.readExactly(10); });
    buffer.append(run(0, 4));
    buffer.append({});
    buffer.append(run(4, 5));
    EXPECT_EQ(read.wait_for(30ms), std::future_status::timeout);
    buffer.append(run(9, 1));
    EXPECT_EQ(read.get(), run(0, 10));
}

TEST(StreamBuffer, EndOfStreamFailsShortReadsButKeepsTheBytes) {
    StreamBuffer buffer;
    buffer.append(run(0, 6));
    auto read = parked([&] { return buffer.readExactly(10); });
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(ioFailure([&] { read.get(); }), ByteIOErrorKind::endOfStream);
    EXPECT_EQ(buffer.readExactly(6), run(0, 6));
    buffer.append(run(0, 3));  // dropped after the end
    EXPECT_EQ(ioFailure([&] { buffer.readExactly(1); }), ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(buffer.readToEnd().empty());
}

TEST(StreamBuffer, ReadToEndCollectsEverythingUntilThePhoneCloses) {
    StreamBuffer buffer;
    auto read = parked([&] { return buffer.readToEnd(); });
    buffer.append(run(0, 2));
    buffer.append(run(2, 3));
    EXPECT_EQ(read.wait_for(30ms), std::future_status::timeout);
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(read.get(), run(0, 5));

    StreamBuffer silent;
    silent.finish(ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(silent.readToEnd().empty());
}

TEST(StreamBuffer, ClosedDropsTheBytesAndFailsEveryRead) {
    StreamBuffer buffer;
    buffer.append(run(0, 8));
    auto read = parked([&] { return buffer.readToEnd(); });
    buffer.finish(ByteIOErrorKind::closed);
    EXPECT_EQ(ioFailure([&] { read.get(); }), ByteIOErrorKind::closed);
    EXPECT_EQ(ioFailure([&] { buffer.readExactly(1); }), ByteIOErrorKind::closed);
    EXPECT_EQ(ioFailure([&] { buffer.readToEnd(); }), ByteIOErrorKind::closed);
    EXPECT_TRUE(buffer.readExactly(0).empty());
    // Nothing turns closed back into endOfStream.
    buffer.finish(ByteIOErrorKind::endOfStream);
    EXPECT_EQ(ioFailure([&] { buffer.readToEnd(); }), ByteIOErrorKind::closed);
}

TEST(StreamBuffer, ClosedAfterEndOfStreamWins) {
    StreamBuffer buffer;
    buffer.append(run(0, 4));
    buffer.finish(ByteIOErrorKind::endOfStream);
    buffer.finish(ByteIOErrorKind::closed);
    EXPECT_EQ(ioFailure([&] { buffer.readExactly(4); }), ByteIOErrorKind::closed);
}

TEST(StreamBuffer, ASecondWaitingReaderIsRefusedLoudly) {
    StreamBuffer buffer;
    auto first = parked([&] { return buffer.readExactly(2); });
    EXPECT_THROW(buffer.readExactly(1), std::logic_error);
    buffer.append(run(0, 2));
    EXPECT_EQ(first.get(), run(0, 2));
}

}  // namespace
}  // namespace qm
