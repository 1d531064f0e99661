#include "FlashPixelSampler.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "Developer/FlashTestError.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/ThreadHandoff.h"

namespace qm {

namespace {

// Changes of colour, not frames: even at 240 frames a second a whole test stays far below.
constexpr std::size_t maxTransitions = 8192;

}  // namespace

// What the frame handlers record; outlives every watch.
struct FlashPixelSampler::Recording {
    Recording() { transitions.reserve(maxTransitions); }

    void record(bool green, std::uint64_t macNanos) {
        const std::lock_guard lock(mutex);
        if (lastGreen == green || transitions.size() == maxTransitions) {
            return;
        }
        lastGreen = green;
        transitions.push_back({green, macNanos});
    }

    std::mutex mutex;
    std::vector<FlashTransition> transitions;
    std::optional<bool> lastGreen;
};

// One start's read-back, touched only by its frame handlers on the render thread.
struct FlashPixelSampler::Watch {
    // Reads the square of the frame just drawn and keeps the colour of its centre.
    void afterRendering() {
        QOpenGLContext* context = QOpenGLContext::currentContext();
        if (!context) {
            return;
        }
        // The OpenGL backend runs what it recorded for this frame only now.
        window->beginExternalCommands();
        context->functions()->glReadPixels(pixels.x(), pixels.y(), pixels.width(), pixels.height(),
                                           GL_RGBA, GL_UNSIGNED_BYTE, buffer.data());
        window->endExternalCommands();
        // Rows come bottom first: the centre row counted from the top is this one.
        const int row = pixels.height() - 1 - pixels.height() / 2;
        const std::uint8_t* pixel =
            &buffer[std::size_t(row * pixels.width() + pixels.width() / 2) * 4];
        pending = classify(pixel[2], pixel[1], pixel[0]);
    }

    void frameSwapped() {
        if (const std::optional<bool> green = std::exchange(pending, std::nullopt)) {
            recording->record(*green, HostClock::nowNanos());
        }
    }

    QQuickWindow* window;  // alive while it emits
    QRect pixels;          // in the framebuffer, rows from the bottom
    std::vector<std::uint8_t> buffer;
    std::optional<bool> pending;
    std::shared_ptr<Recording> recording;
};

FlashPixelSampler::FlashPixelSampler() : recording_(std::make_shared<Recording>()) {}

FlashPixelSampler::~FlashPixelSampler() {
    stop();
}

void FlashPixelSampler::start(QQuickWindow* window, QRect region) {
    stop();
    if (!window || !window->isExposed()) {
        throw FlashTestError::windowNotFound();
    }
    const qreal scale = window->effectiveDevicePixelRatio();
    auto toPixels = [scale](qreal points) { return int(std::lround(points * scale)); };
    const int width = std::max(1, toPixels(region.width()));
    const int height = std::max(1, toPixels(region.height()));
    const int bottom = toPixels(window->height()) - toPixels(region.y()) - height;
    auto watch = std::make_shared<Watch>(Watch{
        window, QRect(toPixels(region.x()), bottom, width, height),
        std::vector<std::uint8_t>(std::size_t(width * height) * 4), std::nullopt, recording_});
    {
        // The watch is made here and first read on the render thread.
        const auto handoff = ThreadHandoff::posting();
        rendered_ = QObject::connect(
            window, &QQuickWindow::afterRendering, window,
            [watch] {
                ThreadHandoff::received();
                watch->afterRendering();
            },
            Qt::DirectConnection);
        swapped_ = QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [watch] {
                ThreadHandoff::received();
                watch->frameSwapped();
            },
            Qt::DirectConnection);
    }
    window->update();
}

std::vector<FlashTransition> FlashPixelSampler::stop() {
    QObject::disconnect(rendered_);
    QObject::disconnect(swapped_);
    const std::lock_guard lock(recording_->mutex);
    return recording_->transitions;
}

QRect FlashPixelSampler::sampleRegion(const QRectF& contentFrame, int squareSide) {
    const QPointF centre = contentFrame.center();
    return {int(std::lround(centre.x() - squareSide / 2.0)),
            int(std::lround(centre.y() - squareSide / 2.0)), squareSide, squareSide};
}

std::optional<bool> FlashPixelSampler::classify(std::uint8_t blue, std::uint8_t green,
                                                std::uint8_t red) {
    if (green >= 151 && red <= 99 && blue < 100) {
        return true;
    }
    if (std::max({red, green, blue}) <= 69) {
        return false;
    }
    return std::nullopt;
}

}  // namespace qm
