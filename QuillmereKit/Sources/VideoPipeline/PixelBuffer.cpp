#include "VideoPipeline/PixelBuffer.h"

#include <atomic>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "VideoPipeline/FFmpegHandles.h"

namespace qm {

struct PixelBuffer::Node {
    explicit Node(std::shared_ptr<FramePool::Shelf> shelf) : home(std::move(shelf)) {}

    FrameHandle frame;
    std::atomic<int> references{1};
    // Set once by the thread that makes the node, before anyone else sees it, and never written
    // again: a pool that goes away first stays reachable through it.
    const std::shared_ptr<FramePool::Shelf> home;
};

struct FramePool::Shelf {
    explicit Shelf(std::size_t limit) : keep(limit) {}

    std::mutex mutex;
    std::vector<std::unique_ptr<PixelBuffer::Node>> idle;
    std::size_t keep;
    bool open = true;  // false once the pool is gone: records coming back are freed

    void giveBack(PixelBuffer::Node* raw) noexcept {
        std::unique_ptr<PixelBuffer::Node> node(raw);
        av_frame_unref(node->frame.get());
        {
            std::lock_guard lock(mutex);
            if (open && idle.size() < keep) {
                try {
                    idle.push_back(std::move(node));
                } catch (const std::bad_alloc&) {
                    // The node is freed instead of kept.
                }
            }
        }
        // A node not kept goes after the lock: it may hold the last reference to this shelf.
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
        node_->home->giveBack(node_);
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

FramePool::~FramePool() {
    // Idle nodes hold the shelf; they go now, outside its lock. Nodes still out free themselves
    // when they come back, and the last one takes the shelf with it.
    std::vector<std::unique_ptr<PixelBuffer::Node>> idle;
    {
        std::lock_guard lock(shelf_->mutex);
        shelf_->open = false;
        idle.swap(shelf_->idle);
    }
}

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
        node = std::make_unique<PixelBuffer::Node>(shelf_);
        node->frame.reset(av_frame_alloc());
        if (!node->frame) {
            throw std::bad_alloc();
        }
    }
    node->references.store(1, std::memory_order_relaxed);
    return PixelBuffer(node.release());
}

}  // namespace qm
