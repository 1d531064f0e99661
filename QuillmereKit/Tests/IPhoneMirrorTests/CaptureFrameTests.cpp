#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "IPhoneMirror/CaptureFrameConverter.h"
#include "IPhoneMirror/CaptureFrameFeed.h"
#include "IPhoneMirror/IPhoneCaptureSession.h"
#include "Support/ManualExecutor.h"

namespace qm {
namespace {

using Rows = std::vector<std::vector<std::uint8_t>>;

// A frame in memory, as a capture backend hands it over, with one list of rows per plane.
QVideoFrame makeFrame(QVideoFrameFormat::PixelFormat format, QSize size,
                      const std::vector<Rows>& planes, qint64 startTime = -1) {
    QVideoFrame frame(QVideoFrameFormat(size, format));
    EXPECT_TRUE(frame.map(QVideoFrame::WriteOnly));
    EXPECT_EQ(frame.planeCount(), int(planes.size()));
    for (int plane = 0; plane < frame.planeCount(); ++plane) {
        for (std::size_t row = 0; row < planes[plane].size(); ++row) {
            std::copy(planes[plane][row].begin(), planes[plane][row].end(),
                      frame.bits(plane) + row * frame.bytesPerLine(plane));
        }
    }
    frame.unmap();
    frame.setStartTime(startTime);
    return frame;
}

Rows rowsOf(const AVFrame& picture, int plane, int rowBytes, int rows) {
    Rows result;
    for (int row = 0; row < rows; ++row) {
        const std::uint8_t* start = picture.data[plane] + row * picture.linesize[plane];
        result.emplace_back(start, start + rowBytes);
    }
    return result;
}

TEST(CaptureFrameConverterTest, CopiesOrConvertsPlanesByteForByte) {
    struct Case {
        QVideoFrameFormat::PixelFormat format;
        std::vector<Rows> input;
        AVPixelFormat output;
        std::vector<Rows> expected;
    };
    const Rows luma = {{16, 17, 18, 19}, {20, 21, 22, 23}};
    const Case cases[] = {
        {QVideoFrameFormat::Format_NV12,
         {luma, {{128, 130, 132, 134}}},
         AV_PIX_FMT_NV12,
         {luma, {{128, 130, 132, 134}}}},
        {QVideoFrameFormat::Format_YUV420P,
         {luma, {{100, 110}}, {{120, 140}}},
         AV_PIX_FMT_YUV420P,
         {luma, {{100, 110}}, {{120, 140}}}},
        // Both rows carry the same chroma, so halving it vertically keeps it exact.
        {QVideoFrameFormat::Format_YUYV,
         {{{16, 128, 17, 130, 18, 132, 19, 134}, {20, 128, 21, 130, 22, 132, 23, 134}}},
         AV_PIX_FMT_NV12,
         {luma, {{128, 130, 132, 134}}}},
    };
    CaptureFrameConverter converter;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.format));
        QVideoFrame frame = makeFrame(c.format, {4, 2}, c.input, 40'000);
        const std::optional<DecodedFrame> decoded = converter.convert(frame, 77);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->ptsMicros, 40'000);
        EXPECT_EQ(decoded->decodedAtNanos, 77u);
        const AVFrame& picture = *decoded->pixelBuffer.frame();
        EXPECT_EQ(picture.format, c.output);
        EXPECT_EQ(picture.width, 4);
        EXPECT_EQ(picture.height, 2);
        for (std::size_t plane = 0; plane < c.expected.size(); ++plane) {
            const Rows& rows = c.expected[plane];
            EXPECT_EQ(rowsOf(picture, int(plane), int(rows[0].size()), int(rows.size())), rows)
                << "plane " << plane;
        }
    }
}

TEST(CaptureFrameConverterTest, DropsWhatItCannotReadAndDatesFramesWithoutTimeAtZero) {
    CaptureFrameConverter converter;
    QVideoFrame invalid;
    EXPECT_FALSE(converter.convert(invalid, 1));
    QVideoFrame jpeg(QVideoFrameFormat({4, 2}, QVideoFrameFormat::Format_Jpeg));
    EXPECT_FALSE(converter.convert(jpeg, 1));

    QVideoFrame untimed = makeFrame(QVideoFrameFormat::Format_NV12, {4, 2}, {{{}, {}}, {{}}}, -1);
    const std::optional<DecodedFrame> decoded = converter.convert(untimed, 1);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->ptsMicros, 0);
}

TEST(CaptureFrameConverterTest, RefusesPlanesThatDoNotHoldThePicture) {
    static const std::uint8_t bytes[64] = {};
    const auto nv12 = [](auto change) {
        CaptureFrameConverter::Planes planes{2, {bytes, bytes + 32}, {8, 8}, {32, 16}};
        change(planes);
        return planes;
    };
    struct Case {
        const char* name;
        CaptureFrameConverter::Planes planes;
        int width;
        bool holds;
    };
    const Case cases[] = {
        {"sound, rows padded", nv12([](auto&) {}), 6, true},
        {"last row short but inside", nv12([](auto& p) {
             p.mappedBytes = {30, 14};
         }),
         6, true},
        {"luma ends early", nv12([](auto& p) { p.mappedBytes[0] = 29; }), 6, false},
        {"chroma ends early", nv12([](auto& p) { p.mappedBytes[1] = 13; }), 6, false},
        {"rows shorter than the width", nv12([](auto& p) { p.bytesPerLine[0] = 4; }), 6, false},
        {"rows backwards", nv12([](auto& p) { p.bytesPerLine[1] = -8; }), 6, false},
        {"no chroma", nv12([](auto& p) { p.data[1] = nullptr; }), 6, false},
        {"too few planes", nv12([](auto& p) { p.count = 1; }), 6, false},
        {"no width", nv12([](auto&) {}), 0, false},
        {"wider than any device", nv12([](auto&) {}), CaptureFrameConverter::maxSide + 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CaptureFrameConverter::holdsPicture(c.planes, AV_PIX_FMT_NV12, c.width, 4),
                  c.holds)
            << c.name;
    }
}

TEST(CaptureFrameFeedTest, ConvertsOnlyTheNewestOfTheFramesWaiting) {
    test::ManualExecutor queue;
    std::vector<std::int64_t> handed;
    CaptureFrameFeed feed(queue, [&](DecodedFrame frame) { handed.push_back(frame.ptsMicros); });
    const std::vector<Rows> planes = {{{}, {}}, {{}}};
    for (qint64 time : {1, 2, 3}) {
        feed.push(makeFrame(QVideoFrameFormat::Format_NV12, {4, 2}, planes, time));
    }
    EXPECT_EQ(queue.pending(), 1u);
    queue.drain();
    feed.push(makeFrame(QVideoFrameFormat::Format_NV12, {4, 2}, planes, 4));
    queue.drain();
    EXPECT_EQ(handed, (std::vector<std::int64_t>{3, 4}));
}

TEST(IPhoneCaptureSessionTest, PrefersTheLargestFastNV12ThenYUV420P) {
    using F = QVideoFrameFormat;
    using Offers = std::vector<IPhoneCaptureSession::FormatOffer>;
    struct Case {
        Offers offers;
        std::optional<std::size_t> chosen;
    };
    const Case cases[] = {
        {{{F::Format_NV12, {1280, 720}, 30},
          {F::Format_NV12, {1920, 1080}, 30},
          {F::Format_NV12, {3840, 2160}, 15}},
         1},
        {{{F::Format_YUV420P, {1920, 1080}, 60}, {F::Format_NV12, {640, 480}, 30}}, 1},
        {{{F::Format_YUYV, {1920, 1080}, 60}, {F::Format_YUV420P, {1280, 720}, 30}}, 1},
        {{{F::Format_NV12, {1920, 1080}, 25}, {F::Format_NV12, {1280, 720}, 29.97f}}, 1},
        {{{F::Format_Jpeg, {1920, 1080}, 60}, {F::Format_NV12, {1920, 1080}, 25}}, {}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IPhoneCaptureSession::preferredFormat(c.offers), c.chosen);
    }
}

}  // namespace
}  // namespace qm
