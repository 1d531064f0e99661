// Input: the bytes of an extension socket. Each frame that decodes goes where the session sends
// it, with every value as the phone chose it: a hello's and each pong's clock readings into the
// clock estimate, the flash test's clock and the latency figures of a frame presented then; a
// telemetry report into the heads-up display's rows, the encoder log line and the thermal
// warning; an app list into the library's list, search, order and the cache's file names; every
// message into its log text. Our clock advances a millisecond per frame.
// Nothing may overflow or crash. An estimate that took a sample has an offset and no round trip
// longer than that sample's; a thermal warning names the status it was given; the library shows
// no more apps than it has, and its order keeps every app; a cache file name is one safe path
// component.
#include <QCoreApplication>
#include <string_view>

#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereKit/Gaming/GameLibraryCache.h"
#include "QuillmereKit/Gaming/LibraryModel.h"
#include "QuillmereKit/HUD/HUDFormatter.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "ServerProtocol/ExtClient.h"
#include "ServerProtocol/ExtCodec.h"
#include "Telemetry/ClockSync.h"
#include "Telemetry/EncoderStatsLog.h"
#include "Telemetry/FlashClock.h"
#include "Telemetry/LatencyTracker.h"
#include "Telemetry/ThermalGuard.h"

namespace {

using namespace qm;
using qm::fuzz::check;

constexpr std::uint64_t millisecond = 1'000'000;
constexpr int thermalThreshold = 2;
constexpr std::string_view safeCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-";

struct Consumers {
    std::uint64_t now = 1'000'000'000'000;
    std::optional<ExtHello> hello;
    ClockSync clock{10};
    LatencyTracker latency;
    SessionStats stats;
    ThermalGuard thermal{thermalThreshold};
    LibraryModel library;

    void clockSample(const ClockSample& sample) {
        if (!clock.add(sample)) {
            return;
        }
        check(clock.offsetNanos().has_value());
        check(*clock.bestRTTNanos() <= sample.rttNanos());
        clock.macNanos(sample.phoneNanos);
        if (const std::optional<FlashClock> flash = FlashClock::from(hello, clock)) {
            flash->macNanos(flash->anchor.wallMillis);
            flash->phoneWallMillis(now);
        }
        // A frame presented now, stamped with a phone time: the video's PTS is the phone's too.
        latency.presented(sample.phoneNanos / 1000, now,
                          hello ? std::optional(hello->phoneMonotonicNanos) : std::nullopt, clock,
                          now - millisecond);
        latency.publication(true, now);
    }

    void telemetry(const PhoneTelemetry& report) {
        stats.telemetry = report;
        HUDFormatter::items(stats, true);
        EncoderStatsLog::line(report, 1.0);
        if (const ThermalGuard::Advice advice = thermal.update(report.thermalStatus)) {
            check(advice->status == report.thermalStatus);
        }
    }

    void apps(const std::vector<AppInfo>& apps) {
        library.applyFresh(apps);
        for (const bool showAll : {false, true}) {
            library.setShowAllApps(showAll);
            library.setSearchText(apps.empty() ? std::string() : apps.front().label);
            check(library.visibleApps().size() <= apps.size());
        }
        check(LibraryModel::sorted(apps).size() == apps.size());
        for (const AppInfo& app : apps) {
            const std::string name = GameLibraryCache::sanitize(app.packageName);
            check(!name.empty() && name != "." && name != "..");
            check(name.find_first_not_of(safeCharacters) == std::string::npos);
        }
    }

    void consume(const ExtMessage& message) {
        now += millisecond;
        describe(message);
        if (const auto* ack = std::get_if<ext::HelloAck>(&message)) {
            hello = ExtHello{ack->version, ack->phoneMonotonicNanos, ack->phoneWallMillis,
                             now - millisecond, now};
            latency = {};
            clockSample({hello->hostSendNanos, hello->phoneMonotonicNanos, hello->macReceiveNanos});
        } else if (const auto* pong = std::get_if<ext::Pong>(&message)) {
            clockSample({pong->clientNanos, pong->phoneMonotonicNanos, now});
        } else if (const auto* report = std::get_if<ext::Telemetry>(&message)) {
            telemetry(report->telemetry);
        } else if (const auto* list = std::get_if<ext::AppList>(&message)) {
            apps(list->apps);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The library's collation and case folding are Qt's.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DataByteSource source = DataByteSource::viewing(ByteView(data, size));
    Consumers consumers;
    // As the session's reader: a frame that does not decode closes the channel.
    try {
        for (;;) {
            consumers.consume(ExtCodec::next(source));
        }
    } catch (const BinaryError&) {
    } catch (const ByteIOError&) {
    }
    return 0;
}
