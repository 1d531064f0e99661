#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <variant>
#include <vector>

#include "QuillmereCore/ControlMessage.h"

namespace qm {

// The messages one input operation produces, in sending order. The owner clears and refills
// the same list for every event; slots and their buffers are kept, so steady-state input
// allocates nothing.
class MessageList {
public:
    void clear() noexcept { size_ = 0; }
    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }

    std::span<const ControlMessage> messages() const noexcept { return {slots_.data(), size_}; }
    const ControlMessage& operator[](std::size_t i) const noexcept { return slots_[i]; }
    auto begin() const noexcept { return messages().begin(); }
    auto end() const noexcept { return messages().end(); }

    void push(ControlMessage message) { next() = std::move(message); }

    // The next slot as a `T`: the old value when the slot already held one (its buffers keep
    // their capacity), else a fresh one. The caller sets every field.
    template <typename T>
    T& reuse() {
        ControlMessage& slot = next();
        if (T* existing = std::get_if<T>(&slot)) {
            return *existing;
        }
        return slot.emplace<T>();
    }

private:
    ControlMessage& next() {
        if (size_ == slots_.size()) {
            slots_.emplace_back();
        }
        return slots_[size_++];
    }

    std::vector<ControlMessage> slots_;
    std::size_t size_ = 0;
};

}  // namespace qm
