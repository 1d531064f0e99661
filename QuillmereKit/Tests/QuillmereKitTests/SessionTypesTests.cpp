#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeviceLink/AdbKeyError.h"
#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "ServerProtocol/ExtClient.h"
#include "ServerProtocol/ServerLauncher.h"
#include "ServerProtocol/ServerOptions.h"
#include "Support/LogSince.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {
namespace {

template <typename E>
std::exception_ptr thrown(E error) {
    return std::make_exception_ptr(std::move(error));
}

TEST(SessionFailureTest, EveryErrorBecomesAFailureThatNamesItsCase) {
    struct Case {
        std::exception_ptr error;
        SessionFailure expected;
    };
    using F = SessionFailure;
    const std::vector<Case> cases = {
        {thrown(F::serverFailed("kept as it is")), F::serverFailed("kept as it is")},
        {thrown(F::decoderFailed()), F::decoderFailed()},
        {thrown(ServerError::connectTimeout()), F::serverFailed("connectTimeout")},
        {thrown(ServerError::versionMismatch("does not match the client")), F::versionMismatch()},
        {thrown(ServerError::serverDied("Aborted")), F::serverFailed(R"(serverDied("Aborted"))")},
        {thrown(ServerError::serverDied("")), F::serverFailed(R"(serverDied(""))")},
        {thrown(AdbError::authRejected()), F::serverFailed("authRejected")},
        {thrown(AdbError::closed()), F::disconnected()},
        {thrown(AdbError::protocolViolation("say \"hi\"\n\\ \x01 é")),
         F::serverFailed(R"(protocolViolation("say \"hi\"\n\\ \u{1} é"))")},
        {thrown(ByteIOError::endOfStream()), F::disconnected()},
        {thrown(ByteIOError::closed()), F::disconnected()},
        {thrown(UsbError::exclusiveAccess()), F::deviceBusy()},
        {thrown(UsbError::notFound()), F::serverFailed("notFound")},
        {thrown(UsbError::io(-7)), F::serverFailed("io(-7)")},
        {thrown(BinaryError::invalid("unknown device message type 9")),
         F::serverFailed(R"(invalid("unknown device message type 9"))")},
        {thrown(BinaryError::truncated()), F::serverFailed("truncated")},
        {thrown(ExtClientError::versionMismatch(3)), F::serverFailed("versionMismatch(3)")},
        {thrown(ExtClientError::serverError("no such app")),
         F::serverFailed(R"(serverError("no such app"))")},
        {thrown(ExtClientError::timeout()), F::serverFailed("timeout")},
        {thrown(ServerOptionsError::invalidVideoCodecOption("a b")),
         F::serverFailed(R"(invalidVideoCodecOption("a b"))")},
        {thrown(VideoPipelineError::missingParameterSet("SPS")),
         F::serverFailed(R"(missingParameterSet("SPS"))")},
        {thrown(VideoPipelineError::decoderCreation(-22)), F::serverFailed("decoderCreation(-22)")},
        {thrown(DemoStreamFormat::FormatError::unsupportedVersion(2)),
         F::serverFailed("unsupportedVersion(2)")},
        {thrown(AdbKeyError::invalidToken(19)), F::serverFailed("invalidToken(19)")},
        {thrown(std::runtime_error("from a library")), F::serverFailed("from a library")},
        {thrown(42), F::serverFailed("unknown error")},
        {std::exception_ptr(), F::serverFailed("unknown error")},
    };
    // The case alone: what a person reads of it is the presenter's.
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_STREQ(failure(cases[i].error).what(), cases[i].expected.what()) << "case " << i;
    }
}

TEST(SessionFailureTest, LogsAsItsCaseAndComparesItsText) {
    EXPECT_STREQ(SessionFailure::serverFailed("a \"b\"").what(), R"(serverFailed("a \"b\""))");
    EXPECT_STREQ(SessionFailure::deviceBusy().what(), "deviceBusy");
    EXPECT_EQ(SessionFailure::serverFailed("").text(), "");

    const auto a = SessionPhase::failed(SessionFailure::serverFailed("a"));
    EXPECT_EQ(a, SessionPhase::failed(SessionFailure::serverFailed("a")));
    EXPECT_NE(a, SessionPhase::failed(SessionFailure::serverFailed("b")));
    EXPECT_NE(a, SessionPhase::failed(SessionFailure::disconnected()));
}

// What the phone printed may name it; every other reason shows.
TEST(SessionFailureTest, TheLogShowsEveryReasonButWhatThePhonePrinted) {
    const test::PrivateValuesHidden hidden;
    struct Case {
        std::exception_ptr error;
        std::string asFailure;
        std::string asError;
    };
    for (const Case& each : std::vector<Case>{
             {thrown(ServerError::serverDied("[server] Device: Pixel 7")),
              "serverFailed(<private>)", "<private>"},
             {thrown(ExtClientError::serverError("Pixel 7: no such app")),
              "serverFailed(<private>)", "<private>"},
             {thrown(ServerError::connectTimeout()), R"(serverFailed("connectTimeout"))",
              "the device server's socket did not open in time"},
             {thrown(ExtClientError::timeout()), R"(serverFailed("timeout"))",
              "the phone did not answer the extension hello in time"},
             {thrown(ByteIOError::closed()), "disconnected", "the channel is closed"},
         }) {
        EXPECT_EQ(logged(failure(each.error)), each.asFailure);
        EXPECT_EQ(logged(each.error), each.asError);
    }
}

}  // namespace
}  // namespace qm
