#include "VideoPipeline/PixelBuffer.h"

#include <atomic>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "VideoPipeline/FFmpegHandles.h"

namespace qm {

struct PixelBuffer::Node {
    FrameHandle frame;
    std::atomic<int> references{1};
    // Set while the node is out of its shelf, so a pool that goes away first stays reachable.
    std::shared_ptr<FramePool::Shelf> home;
};

struct FramePool::Shelf {
    explicit Shelf(std::size_t limit) : keep(limit) {}

    std::mutex mutex;
    std::vector<std::unique_ptr<PixelBuffer::Node>> idle;
    std::size_t keep;

    void giveBack(PixelBuffer::Node* raw) noexcept {
        std::unique_ptr<PixelBuffer::Node> node(raw);
        av_frame_unref(node->frame.get());
        // The last reference to the shelf may be this node's; let it go after the lock.
        std::shared_ptr<Shelf> self = std::move(node->home);
        std::lock_guard lock(mutex);
        if (idle.size() < keep) {
            try {
                idle.push_back(std::move(node));
            } catch (const std::bad_alloc&) {
                // The node is freed instead of kept.
            }
        }
    }
};

PixelBuffer::PixelBuffer(const PixelBuffer& other) noexcept : node_(other.node_) {
    if (node_) {
        node_->references.fetch_add(1, std::memory_order_relaxed);
    }
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : node_(std::exchange(other.node_, nullptr)) {}

PixelBuffer& PixelBuffer::operator=(PixelBuffer other) noexcept {
    std::swap(node_, other.node_);
    return *this;
}

PixelBuffer::~PixelBuffer() {
    if (node_ && node_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::shared_ptr<FramePool::Shelf> shelf = node_->home;
        shelf->giveBack(node_);
    }
}

const AVFrame* PixelBuffer::frame() const noexcept {
    return node_ ? node_->frame.get() : nullptr;
}

AVFrame* PixelBuffer::mutableFrame() noexcept {
    return node_ ? node_->frame.get() : nullptr;
}

int PixelBuffer::width() const noexcept {
    return node_ ? node_->frame->width : 0;
}

int PixelBuffer::height() const noexcept {
    return node_ ? node_->frame->height : 0;
}

FramePool::FramePool(std::size_t keep) : shelf_(std::make_shared<Shelf>(keep)) {}

FramePool::~FramePool() = default;

PixelBuffer FramePool::acquire() {
    std::unique_ptr<PixelBuffer::Node> node;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->idle.empty()) {
            node = std::move(shelf_->idle.back());
            shelf_->idle.pop_back();
        }
    }
    if (!node) {
        node = std::make_unique<PixelBuffer::Node>();
        node->frame.reset(av_frame_alloc());
        if (!node->frame) {
            throw std::bad_alloc();
        }
    }
    node->references.store(1, std::memory_order_relaxed);
    node->home = shelf_;
    return PixelBuffer(node.release());
}

}  // namespace qm
