#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereCore/Bytes.h"

namespace qm::test {

// Frame i of a test stream carries this on the left and its negation on the right, so a lost,
// repeated or swapped frame shows in what is played.
inline int frameSample(int i) {
    return i % 32000 + 1;
}

inline Bytes stereoFrames(int count, int first = 0) {
    Bytes pcm;
    pcm.reserve(std::size_t(count) * 4);
    for (int i = first; i < first + count; ++i) {
        for (const int sample : {frameSample(i), -frameSample(i)}) {
            const auto bits = static_cast<std::uint16_t>(sample);
            pcm.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
        }
    }
    return pcm;
}

// Whether `count` frames of `block` (interleaved stereo) from frame `at` on are the test stream's
// frames from `first` on.
inline ::testing::AssertionResult playsFrames(const std::vector<float>& block, int at, int first,
                                              int count) {
    for (int i = 0; i < count; ++i) {
        const float left = float(frameSample(first + i)) / 32768.0f;
        const std::size_t index = std::size_t(at + i) * 2;
        if (index + 1 >= block.size() || block[index] != left || block[index + 1] != -left) {
            return ::testing::AssertionFailure()
                   << "frame " << at + i << " is not frame " << first + i;
        }
    }
    return ::testing::AssertionSuccess();
}

// Whether frames [from, to) of `block` are silent.
inline ::testing::AssertionResult isSilent(const std::vector<float>& block, int from, int to,
                                           int channels = 2) {
    for (std::size_t i = std::size_t(from * channels); i < std::size_t(to * channels); ++i) {
        if (i >= block.size() || block[i] != 0.0f) {
            return ::testing::AssertionFailure() << "sample " << i << " is not silence";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace qm::test
