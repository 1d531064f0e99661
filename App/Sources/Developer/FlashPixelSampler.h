#pragma once

#include <QMetaObject>
#include <QRect>
#include <QRectF>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Telemetry/FlashTestAnalyzer.h"

class QQuickWindow;

namespace qm {

// Watches a square of a window for the flash test and records when it turned green or black.
class FlashSampler {
public:
    virtual ~FlashSampler() = default;
    // Starts watching `region` (scene coordinates) of `window`, a running watch stopped first;
    // FlashTestError windowNotFound when there is no window or it is not on screen.
    virtual void start(QQuickWindow* window, QRect region) = 0;
    // Stops watching and returns every change recorded so far, oldest first.
    virtual std::vector<FlashTransition> stop() = 0;
};

// Reads back the centre of each frame we render ourselves, right after the scene is drawn, and
// stamps a change of colour with the host clock when that frame is swapped to the screen. The
// frame handlers run on the window's render thread and share only a recording with this object,
// so one still running after stop() touches nothing freed. start and stop: GUI thread.
class FlashPixelSampler final : public FlashSampler {
public:
    static constexpr int side = 8;  // of the watched square, in logical pixels

    FlashPixelSampler();
    ~FlashPixelSampler() override;
    FlashPixelSampler(const FlashPixelSampler&) = delete;
    FlashPixelSampler& operator=(const FlashPixelSampler&) = delete;

    void start(QQuickWindow* window, QRect region) override;
    std::vector<FlashTransition> stop() override;

    // The square of `side` centred on `contentFrame`, both in scene coordinates (top left).
    static QRect sampleRegion(const QRectF& contentFrame, int squareSide = side);
    // True green, false black, none for any other colour.
    static std::optional<bool> classify(std::uint8_t blue, std::uint8_t green, std::uint8_t red);
    // Reading our own frames back needs no one's leave here; the seam stays so that the test
    // asks before it touches the phone, as it would where capture needs permission.
    static bool requestAccess() { return true; }

private:
    struct Recording;
    struct Watch;

    std::shared_ptr<Recording> recording_;
    QMetaObject::Connection rendered_;
    QMetaObject::Connection swapped_;
};

}  // namespace qm
