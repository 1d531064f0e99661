#pragma once

#include <cstddef>
#include <memory>

struct AVFrame;

namespace qm {

// A decoded picture shared by reference. Copies only count references; the picture and its
// frame record go back to their pool when the last copy is gone, so steady decoding allocates
// nothing. The frame keeps the decoder's pixel format, colour space, range and primaries.
class PixelBuffer {
public:
    PixelBuffer() = default;
    PixelBuffer(const PixelBuffer& other) noexcept;
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer other) noexcept;
    ~PixelBuffer();

    explicit operator bool() const noexcept { return node_ != nullptr; }
    const AVFrame* frame() const noexcept;
    int width() const noexcept;
    int height() const noexcept;

    // Only for the one holder of a fresh buffer, before it is shared.
    AVFrame* mutableFrame() noexcept;

    struct Node;  // opaque

private:
    friend class FramePool;
    explicit PixelBuffer(Node* node) noexcept : node_(node) {}

    Node* node_ = nullptr;
};

// Hands out empty frame records and takes them back; keeps up to `keep` idle ones.
class FramePool {
public:
    explicit FramePool(std::size_t keep = 8);
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // An empty frame for a decoder to fill; throws std::bad_alloc when none can be made.
    PixelBuffer acquire();

    struct Shelf;  // opaque

private:
    std::shared_ptr<Shelf> shelf_;
};

}  // namespace qm
