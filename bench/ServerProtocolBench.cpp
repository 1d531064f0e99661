// Demultiplexing a media socket's receive queue against the memcpy ceiling for the same bytes,
// and the control path's batch work. Prints the demuxer/memcpy ratio of the median rates.
#include <cstring>
#include <iostream>

#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "QuillmereCore/BinaryWriter.h"
#include "QuillmereCore/ByteQueue.h"
#include "ServerProtocol/ControlOutbox.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "Support/MediaPackets.h"

namespace {

using namespace qm;

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

// The stream as a media socket receives it: WRTE payloads of the largest size, freshly
// written, as the link's reader leaves them.
std::vector<Bytes> received(const Bytes& stream) {
    constexpr std::size_t payload = 256 * 1024;
    std::vector<Bytes> chunks;
    for (std::size_t at = 0; at < stream.size(); at += payload) {
        const auto from = stream.begin() + static_cast<std::ptrdiff_t>(at);
        chunks.emplace_back(
            from, from + static_cast<std::ptrdiff_t>(std::min(payload, stream.size() - at)));
    }
    return chunks;
}

void fill(ByteQueue& queue, const Bytes& stream) {
    for (Bytes& chunk : received(stream)) {
        queue.feed(std::move(chunk));
    }
    queue.finish();
}

void BM_Demux1080pStream(benchmark::State& state) {
    const Bytes& stream = videoStream();
    std::size_t packets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ByteQueue queue;
        fill(queue, stream);
        state.ResumeTiming();
        while (queue.unreadByteCount() > 0) {
            StreamEvent event = PacketDemuxer::nextEvent(queue);
            benchmark::DoNotOptimize(event);
            ++packets;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(packets));
}
BENCHMARK(BM_Demux1080pStream)->Unit(benchmark::kMillisecond);

// The ceiling: the same bytes, received the same way, copied in the same pieces (each header,
// then each payload) into a buffer that stays warm, with no parsing and no allocation.
void BM_MemcpySameBytes(benchmark::State& state) {
    const Bytes& stream = videoStream();
    std::vector<std::size_t> pieces;
    {
        ByteQueue source;
        fill(source, stream);
        while (source.unreadByteCount() > 0) {
            const StreamEvent event = PacketDemuxer::nextEvent(source);
            pieces.push_back(PacketDemuxer::headerSize);
            if (const auto* packet = std::get_if<StreamPacket>(&event)) {
                pieces.push_back(packet->data.size());
            }
        }
    }
    Bytes into(PacketDemuxer::maxPacketSize);
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<Bytes> chunks = received(stream);
        state.ResumeTiming();
        std::size_t chunk = 0;
        std::size_t offset = 0;  // into chunks[chunk]
        for (const std::size_t piece : pieces) {
            for (std::size_t done = 0; done < piece;) {
                const std::size_t n = std::min(piece - done, chunks[chunk].size() - offset);
                std::memcpy(into.data() + done, chunks[chunk].data() + offset, n);
                done += n;
                offset += n;
                if (offset == chunks[chunk].size()) {
                    ++chunk;
                    offset = 0;
                }
            }
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
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto demux = reporter.median("BM_Demux1080pStream", "bytes_per_second");
    const auto memcpy = reporter.median("BM_MemcpySameBytes", "bytes_per_second");
    if (demux && memcpy) {
        constexpr double gib = 1024.0 * 1024.0 * 1024.0;
        std::cout << "demux " << *demux / gib << " GiB/s, memcpy " << *memcpy / gib
                  << " GiB/s, ratio " << *demux / *memcpy << "\n";
    }
    benchmark::Shutdown();
}
