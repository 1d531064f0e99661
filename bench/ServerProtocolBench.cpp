// Demultiplexing a media socket against the memcpy ceiling for the same bytes, and the control
// path's batch work. Prints the demuxer/memcpy ratio of the median rates at the end.
#include <cstring>
#include <iostream>

#include <benchmark/benchmark.h>

#include "MedianRateReporter.h"
#include "QuillmereCore/BinaryWriter.h"
#include "ServerProtocol/ControlOutbox.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "Support/MediaPackets.h"

namespace {

using namespace qm;

// A source over borrowed bytes: what a stream's receive buffer costs, without a copy at setup.
class ViewSource final : public ByteSource {
public:
    explicit ViewSource(ByteView bytes) : bytes_(bytes) {}
    bool atEnd() const { return offset_ == bytes_.size(); }

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token) override {
        if (bytes_.size() - offset_ < into.size()) {
            throw ByteIOError::endOfStream();
        }
        std::memcpy(into.data(), bytes_.data() + offset_, into.size());
        offset_ += into.size();
    }

private:
    ByteView bytes_;
    std::size_t offset_ = 0;
};

// Ten seconds of 1080p60 video at about 12 Mbit/s: a 180 KiB key frame every second,
// 22 KiB frames between, as the server sends them after the codec id.
const Bytes& videoStream() {
    static const Bytes stream = [] {
        BinaryWriter out;
        test::writeSession(out, {{1920, 1080}, false});
        test::writePacket(out, {StreamPacket::Kind::config, std::nullopt, Bytes(40, 0x67)});
        for (int i = 0; i < 600; ++i) {
            const bool key = i % 60 == 0;
            test::writePacket(
                out, {key ? StreamPacket::Kind::keyFrame : StreamPacket::Kind::frame, i * 16667,
                      Bytes(key ? 180 * 1024 : 22 * 1024, static_cast<std::uint8_t>(i))});
        }
        return out.take();
    }();
    return stream;
}

void BM_Demux1080pStream(benchmark::State& state) {
    const Bytes& stream = videoStream();
    std::size_t packets = 0;
    for (auto _ : state) {
        ViewSource source(stream);
        while (!source.atEnd()) {
            StreamEvent event = PacketDemuxer::nextEvent(source);
            benchmark::DoNotOptimize(event);
            ++packets;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(packets));
}
BENCHMARK(BM_Demux1080pStream)->Unit(benchmark::kMillisecond);

// The ceiling: the same bytes copied in the same pieces (each header, then each payload) into
// a buffer that stays warm, with no parsing and no allocation.
void BM_MemcpySameBytes(benchmark::State& state) {
    const Bytes& stream = videoStream();
    std::vector<std::size_t> pieces;
    {
        ViewSource source(stream);
        while (!source.atEnd()) {
            const StreamEvent event = PacketDemuxer::nextEvent(source);
            pieces.push_back(PacketDemuxer::headerSize);
            if (const auto* packet = std::get_if<StreamPacket>(&event)) {
                pieces.push_back(packet->data.size());
            }
        }
    }
    Bytes into(PacketDemuxer::maxPacketSize);
    for (auto _ : state) {
        std::size_t offset = 0;
        for (const std::size_t piece : pieces) {
            std::memcpy(into.data(), stream.data() + offset, piece);
            offset += piece;
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond);

// A slow socket's batch: two fingers dragging, a mouse pointer, keys and a scroll between.
ControlOutbox::Batch pointerBatch() {
    ControlOutbox::Batch batch;
    batch.reserve(72);
    for (int i = 0; i < 64; ++i) {
        const DevicePosition at{i, 2 * i, 1080, 2400};
        batch.emplace_back(std::in_place_type<InjectTouch>, MotionAction::move,
                           std::uint64_t(i % 3), at, 1.0f, 0, 0);
        if (i % 16 == 0) {
            batch.emplace_back(std::in_place_type<InjectKeycode>, KeyAction::down, 29, 0, 0);
            batch.emplace_back(std::in_place_type<InjectScroll>, at, 0.0f, -1.5f, 0);
        }
    }
    return batch;
}

void BM_CoalesceAndEncodeBatch(benchmark::State& state) {
    const ControlOutbox::Batch source = pointerBatch();
    ControlOutbox::Batch batch;
    BinaryWriter wire;
    for (auto _ : state) {
        batch = source;
        ControlOutbox::coalesce(batch);
        wire.clear();
        ControlOutbox::encode(batch, wire);
        benchmark::DoNotOptimize(wire.data().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_CoalesceAndEncodeBatch);

void BM_SendAndTakeBatch(benchmark::State& state) {
    const ControlOutbox::Batch source = pointerBatch();
    ControlOutbox outbox;
    ControlOutbox::Batch batch;
    BinaryWriter wire;
    for (auto _ : state) {
        for (const ControlMessage& message : source) {
            outbox.send(message);
        }
        outbox.next(batch);
        ControlOutbox::coalesce(batch);
        wire.clear();
        ControlOutbox::encode(batch, wire);
        benchmark::DoNotOptimize(wire.data().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_SendAndTakeBatch);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianRateReporter reporter("bytes_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto demux = reporter.rate("BM_Demux1080pStream");
    const auto memcpy = reporter.rate("BM_MemcpySameBytes");
    if (demux && memcpy) {
        constexpr double gib = 1024.0 * 1024.0 * 1024.0;
        std::cout << "demux " << *demux / gib << " GiB/s, memcpy " << *memcpy / gib
                  << " GiB/s, ratio " << *demux / *memcpy << "\n";
    }
    benchmark::Shutdown();
}
